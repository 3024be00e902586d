#include "library/custom_data/color_expression_data/drawbot_objects.h"

#include "Util/AEFX_SuiteHelper.h"

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

DRAWBOT_PenP::DRAWBOT_PenP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier,
                           DRAWBOT_ColorRGBA const& colour, float size)
    : DrawbotObjectP(supplierSuite) {
    checkDrawbot(supplierSuite_->NewPen(supplier, &colour, size, &object_));
}

DRAWBOT_PathP::DRAWBOT_PathP(const DRAWBOT_SupplierSuite1* supplierSuite, const DRAWBOT_PathSuite1* pathSuite,
                             DRAWBOT_SupplierRef supplier)
    : DrawbotObjectP(supplierSuite), pathSuite_(pathSuite) {
    checkDrawbot(supplierSuite_->NewPath(supplier, &object_));
}

void DRAWBOT_PathP::moveTo(DRAWBOT_PointF32 point) { checkDrawbot(pathSuite_->MoveTo(object_, point.x, point.y)); }

void DRAWBOT_PathP::lineTo(DRAWBOT_PointF32 point) { checkDrawbot(pathSuite_->LineTo(object_, point.x, point.y)); }

void DRAWBOT_PathP::bezierTo(DRAWBOT_PointF32 control1, DRAWBOT_PointF32 control2, DRAWBOT_PointF32 end) {
    checkDrawbot(pathSuite_->BezierTo(object_, &control1, &control2, &end));
}

void DRAWBOT_PathP::close() { checkDrawbot(pathSuite_->Close(object_)); }

DrawbotSuitesScope::DrawbotSuitesScope(PF_InData* in_data, PF_OutData* out_data)
    : in_data_(in_data), out_data_(out_data) {
    err_ = AEFX_AcquireDrawbotSuites(in_data_, out_data_, &suites_);
}

DrawbotSuitesScope::~DrawbotSuitesScope() {
    if (err_ == PF_Err_NONE) {
        AEFX_ReleaseDrawbotSuites(in_data_, out_data_);
        return;
    }
    // Only what was acquired goes back: the host never handed out the others.
    const std::pair<const void*, const char*> acquired[] = {{suites_.draw_suite, kDRAWBOT_DrawSuite},
                                                            {suites_.supplier_suite, kDRAWBOT_SupplierSuite},
                                                            {suites_.surface_suite, kDRAWBOT_SurfaceSuite},
                                                            {suites_.path_suite, kDRAWBOT_PathSuite}};
    for (const auto& [suite, name] : acquired) {
        if (suite != nullptr) AEFX_ReleaseSuite(in_data_, out_data_, name, kDRAWBOT_SuiteVersion1, nullptr);
    }
}

}  // namespace Morvel::ColorExpressionData
