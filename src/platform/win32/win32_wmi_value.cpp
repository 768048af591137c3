#include "platform/win32/win32_wmi_value.h"

#include <charconv>
#include <cstdint>

#include "platform/win32/win32_wmi_com.h"

namespace orvane::platform::win32 {

namespace {

std::string Narrow(BSTR s) {
    if (!s) return std::string();
    int len = static_cast<int>(SysStringLen(s));
    if (len == 0) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, s, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, s, len, out.data(), n, nullptr, nullptr);
    return out;
}

template <typename T>
std::string Number(T v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Whatever VariantChangeType can turn into a text; empty when it cannot.
std::string Converted(const VARIANT& v) {
    Variant text;
    if (FAILED(VariantChangeType(text.out(), const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR))) return std::string();
    return Narrow(text.get().bstrVal);
}

// One value of type vt at p; `base` is the CIM type without its array flag.
std::string Scalar(VARTYPE vt, const void* p, CIMTYPE base) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL: return std::string();
        case VT_BSTR: return Narrow(*static_cast<const BSTR*>(p));
        case VT_BOOL: return *static_cast<const VARIANT_BOOL*>(p) ? "TRUE" : "FALSE";
        case VT_I1: return Number(int{*static_cast<const signed char*>(p)});
        case VT_UI1: return Number(unsigned{*static_cast<const uint8_t*>(p)});
        case VT_I2: return Number(int{*static_cast<const int16_t*>(p)});
        case VT_UI2: return Number(unsigned{*static_cast<const uint16_t*>(p)});
        case VT_I4:
        case VT_INT: {
            int32_t v = *static_cast<const int32_t*>(p);
            return base == CIM_UINT32 ? Number(static_cast<uint32_t>(v)) : Number(v);
        }
        case VT_UI4:
        case VT_UINT: return Number(*static_cast<const uint32_t*>(p));
        case VT_I8: return Number(*static_cast<const int64_t*>(p));
        case VT_UI8: return Number(*static_cast<const uint64_t*>(p));
        case VT_R4: return Number(*static_cast<const float*>(p));
        case VT_R8: return Number(*static_cast<const double*>(p));
        case VT_VARIANT: {
            const VARIANT& inner = *static_cast<const VARIANT*>(p);
            if (inner.vt & (VT_ARRAY | VT_BYREF)) return Converted(inner);
            return Scalar(inner.vt, &inner.bVal, base);
        }
        default: return std::string();
    }
}

size_t ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: return 4;
        case VT_I8: case VT_UI8: case VT_R8: return 8;
        case VT_BSTR: return sizeof(BSTR);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

std::string ArrayText(SAFEARRAY* a, VARTYPE vt, CIMTYPE base) {
    size_t size = ElementSize(vt);
    if (!a || size == 0 || a->cbElements != size) return std::string();
    size_t count = 1;
    for (USHORT d = 0; d < a->cDims; ++d) count *= a->rgsabound[d].cElements;
    if (a->cDims == 0) count = 0;
    SafeArrayData data(a);
    if (!data.get()) return std::string();
    std::string out;
    const auto* bytes = static_cast<const uint8_t*>(data.get());
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ", ";
        out += Scalar(vt, bytes + i * size, base);
    }
    return out;
}

}  // namespace

std::string WmiValueText(const VARIANT& value, CIMTYPE type) {
    CIMTYPE base = type & ~CIM_FLAG_ARRAY;
    VARTYPE vt = value.vt;
    if (vt & VT_BYREF) return Converted(value);
    if (vt & VT_ARRAY) return ArrayText(value.parray, static_cast<VARTYPE>(vt & VT_TYPEMASK), base);
    if (ElementSize(vt) == 0 && vt != VT_EMPTY && vt != VT_NULL) return Converted(value);
    return Scalar(vt, &value.bVal, base);
}

}  // namespace orvane::platform::win32
