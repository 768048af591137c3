// WMI through COM under Wine, and the value texts of the name/value lists.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <map>
#include <string>

#include "platform/win32/win32_wmi.h"
#include "platform/win32/win32_wmi_com.h"
#include "platform/win32/win32_wmi_value.h"

namespace orvane::platform::win32 {
namespace {

std::map<std::string, std::string> Props(const WmiInstance& row) {
    return std::map<std::string, std::string>(row.begin(), row.end());
}

TEST(Win32Wmi, DiskDrivesUnderWine) {
    Win32Wmi wmi;
    std::vector<WmiInstance> rows;
    WmiStatus st = wmi.Query("Select * from Win32_DiskDrive", true, true, rows);
    ASSERT_TRUE(st.ok) << static_cast<int>(st.failed) << " " << std::hex << st.hresult;
    ASSERT_EQ(rows.size(), 2u);
    for (size_t i = 0; i < rows.size(); ++i) {
        auto p = Props(rows[i]);
        EXPECT_EQ(p["__CLASS"], "Win32_DiskDrive");
        EXPECT_EQ(p["Model"], "Wine Disk Drive");
        EXPECT_EQ(p["InterfaceType"], "IDE");
        EXPECT_EQ(p["Index"], std::to_string(i));
        // Wine spells the key "DeviceId"; WMI names are case-insensitive.
        std::string id = p.count("DeviceID") ? p["DeviceID"] : p["DeviceId"];
        std::string tail = "PHYSICALDRIVE" + std::to_string(i);
        EXPECT_TRUE(id.size() > tail.size() && id.compare(id.size() - tail.size(), tail.size(), tail) == 0) << id;
    }
}

TEST(Win32Wmi, CountingReadsNoNames) {
    Win32Wmi wmi;
    std::vector<WmiInstance> rows;
    ASSERT_TRUE(wmi.Query("Select * from Win32_DiskDrive", false, false, rows).ok);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].empty());
    EXPECT_TRUE(rows[1].empty());
}

TEST(WmiValueText, ScalarsAsWmiDeliversThem) {
    struct Case {
        const char* what;
        VARTYPE vt;
        long long n;
        CIMTYPE type;
        const char* want;
    } const cases[] = {
        {"null", VT_NULL, 0, CIM_STRING, ""},
        {"empty", VT_EMPTY, 0, CIM_UINT32, ""},
        {"uint32 arrives as VT_I4", VT_I4, -1, CIM_UINT32, "4294967295"},
        {"sint32", VT_I4, -1, CIM_SINT32, "-1"},
        {"uint16 arrives as VT_I4", VT_I4, 65535, CIM_UINT16, "65535"},
        {"sint8 arrives as VT_I2", VT_I2, -128, CIM_SINT8, "-128"},
        {"uint8", VT_UI1, 255, CIM_UINT8, "255"},
        {"VT_I1", VT_I1, -5, CIM_SINT8, "-5"},
        {"VT_UI2", VT_UI2, 65535, CIM_UINT16, "65535"},
        {"VT_UI4", VT_UI4, 4000000000LL, CIM_UINT32, "4000000000"},
        {"VT_I8", VT_I8, -9000000000LL, CIM_SINT64, "-9000000000"},
        {"VT_UI8", VT_UI8, 9000000000LL, CIM_UINT64, "9000000000"},
        {"true", VT_BOOL, VARIANT_TRUE, CIM_BOOLEAN, "TRUE"},
        {"false", VT_BOOL, VARIANT_FALSE, CIM_BOOLEAN, "FALSE"},
    };
    for (const Case& c : cases) {
        Variant v;
        VARIANT* p = v.out();
        p->vt = c.vt;
        switch (c.vt) {
            case VT_I1: p->cVal = static_cast<CHAR>(c.n); break;
            case VT_UI1: p->bVal = static_cast<BYTE>(c.n); break;
            case VT_I2: p->iVal = static_cast<SHORT>(c.n); break;
            case VT_UI2: p->uiVal = static_cast<USHORT>(c.n); break;
            case VT_I4: p->lVal = static_cast<LONG>(c.n); break;
            case VT_UI4: p->ulVal = static_cast<ULONG>(c.n); break;
            case VT_I8: p->llVal = c.n; break;
            case VT_UI8: p->ullVal = static_cast<ULONGLONG>(c.n); break;
            case VT_BOOL: p->boolVal = static_cast<VARIANT_BOOL>(c.n); break;
            default: break;
        }
        EXPECT_EQ(WmiValueText(v.get(), c.type), c.want) << c.what;
    }
}

TEST(WmiValueText, TextsAndArrays) {
    Variant text;
    VARIANT* t = text.out();
    t->vt = VT_BSTR;
    t->bstrVal = SysAllocString(L"Wine Disk Drive");
    EXPECT_EQ(WmiValueText(text.get(), CIM_STRING), "Wine Disk Drive");

    // Capabilities: uint16[] as VT_ARRAY | VT_I4.
    Variant numbers;
    SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = i == 2 ? -1 : i + 3;
        SafeArrayPutElement(a, &i, &v);
    }
    VARIANT* n = numbers.out();
    n->vt = VT_ARRAY | VT_I4;
    n->parray = a;
    EXPECT_EQ(WmiValueText(numbers.get(), CIM_UINT32 | CIM_FLAG_ARRAY), "3, 4, 4294967295");
    EXPECT_EQ(WmiValueText(numbers.get(), CIM_SINT32 | CIM_FLAG_ARRAY), "3, 4, -1");

    Variant texts;
    SAFEARRAY* b = SafeArrayCreateVector(VT_BSTR, 0, 2);
    const wchar_t* words[] = {L"Random Access", L"Supports Writing"};
    for (LONG i = 0; i < 2; ++i) {
        BSTR s = SysAllocString(words[i]);
        SafeArrayPutElement(b, &i, s);  // copies the string
        SysFreeString(s);
    }
    VARIANT* w = texts.out();
    w->vt = VT_ARRAY | VT_BSTR;
    w->parray = b;
    EXPECT_EQ(WmiValueText(texts.get(), CIM_STRING | CIM_FLAG_ARRAY), "Random Access, Supports Writing");

    Variant none;
    VARIANT* e = none.out();
    e->vt = VT_ARRAY | VT_I4;
    e->parray = SafeArrayCreateVector(VT_I4, 0, 0);
    EXPECT_EQ(WmiValueText(none.get(), CIM_UINT16 | CIM_FLAG_ARRAY), "");
}

}  // namespace
}  // namespace orvane::platform::win32
