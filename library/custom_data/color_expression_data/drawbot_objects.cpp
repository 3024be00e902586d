#include "library/custom_data/color_expression_data/drawbot_objects.h"

namespace Morvel::ColorExpressionData {

void checkDrawbot(PF_Err err) {
    if (err != PF_Err_NONE) throw DRAWBOT_Exception(err);
}

DrawbotObjectP::~DrawbotObjectP() {
    // A failed release cannot be reported from here; the object is the host's to reclaim.
    if (object_ != nullptr) supplierSuite_->ReleaseObject(object_);
}

DRAWBOT_FontP::DRAWBOT_FontP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier, float size)
    : DrawbotObjectP(supplierSuite) {
    checkDrawbot(supplierSuite_->NewDefaultFont(supplier, size, &object_));
}

DRAWBOT_BrushP::DRAWBOT_BrushP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier,
                               DRAWBOT_ColorRGBA const& colour)
    : DrawbotObjectP(supplierSuite) {
    checkDrawbot(supplierSuite_->NewBrush(supplier, &colour, &object_));
}

}  // namespace Morvel::ColorExpressionData
