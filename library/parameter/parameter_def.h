#pragma once

#include <cstddef>
#include <cstdint>

namespace Morvel::Plugin {

// One parameter value; the member meant follows from the row's kind.
union ParameterUnionValue {
    int32_t i;
    bool b;
    double d;
    struct {
        double x, y;
    } point;
    struct {
        double x, y, z;
    } point3d;
    struct {
        float red, green, blue;
    } color;
};

// Value kinds of a parameter row.
enum ParameterKind : int32_t {
    KIND_LAYER = 0,
    KIND_SLIDER = 1,
    KIND_CHECKBOX = 2,
    KIND_INT = 3,  // popups and the tables' integer sliders; read as KIND_SLIDER
    KIND_FLOAT = 4,
    KIND_ANGLE = 5,
    KIND_POINT = 6,
    KIND_POINT3D = 7,
    KIND_COLOR = 8,
    KIND_ARBITRARY = -1
};

// One row of an effect's parameter table.
struct ParameterDef {
    char name[32];
    int32_t kind;
    int32_t id;  // both the registration id and the check-out index
    ParameterUnionValue dephault;
    ParameterUnionValue validMin;
    ParameterUnionValue validMax;  // a popup's item count
    ParameterUnionValue sliderMin;
    ParameterUnionValue sliderMax;
};

// A group start or end of an effect's controls: not a row, registered just before row `beforeRow`.
struct GroupEntry {
    int32_t beforeRow;
    int32_t id;
    const char* name;  // null for a group end
};

// A checked-out value as the render entries receive it, one per table row.
struct ParameterValue {
    int32_t id;
    int32_t kind;
    ParameterUnionValue value;
};

static_assert(sizeof(ParameterUnionValue) == 24);
static_assert(sizeof(ParameterDef) == 160);
static_assert(offsetof(ParameterDef, kind) == 32);
static_assert(offsetof(ParameterDef, id) == 36);
static_assert(offsetof(ParameterDef, dephault) == 40);
static_assert(offsetof(ParameterDef, sliderMax) == 136);
static_assert(sizeof(ParameterValue) == 32);
static_assert(offsetof(ParameterValue, value) == 8);

}  // namespace Morvel::Plugin
