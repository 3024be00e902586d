#pragma once

#include <exception>
#include <utility>

#include "morvel_host/host.h"

namespace Morvel::ColorExpressionData {

// A drawing call that failed, with the host's error.
class DRAWBOT_Exception : public std::exception {
public:
    explicit DRAWBOT_Exception(PF_Err err) : err_(err) {}
    PF_Err err() const { return err_; }
    const char* what() const noexcept override { return "drawing call failed"; }

private:
    PF_Err err_;
};

// Throws DRAWBOT_Exception for a non-zero result of a drawing call.
void checkDrawbot(PF_Err err);

// Intrusive reference count: the creator holds the first reference.
class SharedRefImpl {
public:
    SharedRefImpl(const SharedRefImpl&) = delete;
    SharedRefImpl& operator=(const SharedRefImpl&) = delete;

    void retain() const { ++count_; }
    void release() const {
        if (--count_ == 0) delete this;
    }

protected:
    SharedRefImpl() = default;
    virtual ~SharedRefImpl() = default;

private:
    mutable int count_ = 1;
};

// A drawing object made by the supplier and given back to it when the last reference goes.
class DrawbotObjectP : public SharedRefImpl {
public:
    DRAWBOT_ObjectRef get() const { return object_; }

protected:
    explicit DrawbotObjectP(const DRAWBOT_SupplierSuite1* supplierSuite) : supplierSuite_(supplierSuite) {}
    ~DrawbotObjectP() override;

    const DRAWBOT_SupplierSuite1* supplierSuite_;
    DRAWBOT_ObjectRef object_ = nullptr;
};

class DRAWBOT_FontP : public DrawbotObjectP {
public:
    DRAWBOT_FontP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier, float size);
};

class DRAWBOT_BrushP : public DrawbotObjectP {
public:
    DRAWBOT_BrushP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier,
                   DRAWBOT_ColorRGBA const& colour);
};

class DRAWBOT_PenP : public DrawbotObjectP {
public:
    DRAWBOT_PenP(const DRAWBOT_SupplierSuite1* supplierSuite, DRAWBOT_SupplierRef supplier,
                 DRAWBOT_ColorRGBA const& colour, float size);
};

// A path built through the path suite; every step throws DRAWBOT_Exception when it fails.
class DRAWBOT_PathP : public DrawbotObjectP {
public:
    DRAWBOT_PathP(const DRAWBOT_SupplierSuite1* supplierSuite, const DRAWBOT_PathSuite1* pathSuite,
                  DRAWBOT_SupplierRef supplier);

    void moveTo(DRAWBOT_PointF32 point);
    void lineTo(DRAWBOT_PointF32 point);
    void bezierTo(DRAWBOT_PointF32 control1, DRAWBOT_PointF32 control2, DRAWBOT_PointF32 end);
    void close();

private:
    const DRAWBOT_PathSuite1* pathSuite_;
};

// The four drawing suites for one scope; released on every way out, exceptions included.
class DrawbotSuitesScope {
public:
    DrawbotSuitesScope(PF_InData* in_data, PF_OutData* out_data);
    ~DrawbotSuitesScope();
    DrawbotSuitesScope(const DrawbotSuitesScope&) = delete;
    DrawbotSuitesScope& operator=(const DrawbotSuitesScope&) = delete;

    PF_Err err() const { return err_; }
    DRAWBOT_Suites const& suites() const { return suites_; }

private:
    PF_InData* in_data_;
    PF_OutData* out_data_;
    DRAWBOT_Suites suites_{};
    PF_Err err_;
};

// Holds one reference for the scope that made the object.
template <class T>
class SharedRef {
public:
    SharedRef() = default;
    explicit SharedRef(T* adopted) : object_(adopted) {}
    SharedRef(const SharedRef& other) : object_(other.object_) {
        if (object_ != nullptr) object_->retain();
    }
    SharedRef& operator=(SharedRef other) {
        std::swap(object_, other.object_);
        return *this;
    }
    ~SharedRef() {
        if (object_ != nullptr) object_->release();
    }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace Morvel::ColorExpressionData
