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
