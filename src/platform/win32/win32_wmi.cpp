#include "platform/win32/win32_wmi.h"

#include <windows.h>
#include <objbase.h>
#include <wbemcli.h>

#include "platform/win32/win32_wmi_com.h"
#include "platform/win32/win32_wmi_value.h"

namespace orvane::platform::win32 {

namespace {

// Declared here rather than taken from a link library.
constexpr CLSID kClsidWbemLocator{0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
constexpr IID kIidWbemLocator{0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

constexpr LONG kExecFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;  // 0x30
constexpr LONG kGetNamesFlags = 0x70;

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Narrow(const wchar_t* s) {
    int n = WideCharToMultiByte(CP_ACP, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

WmiStatus Failed(WmiStep step, HRESULT hr) { return WmiStatus{false, step, static_cast<int32_t>(hr)}; }

// Every property of one instance, in the order GetNames delivers the names.
WmiInstance ReadInstance(IWbemClassObject* object) {
    WmiInstance row;
    SafeArray names;
    if (FAILED(object->GetNames(nullptr, kGetNamesFlags, nullptr, names.out())) || !names.get()) return row;
    LONG lo = 0, hi = -1;
    if (FAILED(SafeArrayGetLBound(names.get(), 1, &lo)) || FAILED(SafeArrayGetUBound(names.get(), 1, &hi)))
        return row;
    for (LONG i = lo; i <= hi; ++i) {
        Bstr name;
        if (FAILED(SafeArrayGetElement(names.get(), &i, name.out())) || !name.get()) continue;
        Variant value;
        CIMTYPE type = 0;
        if (FAILED(object->Get(name.get(), 0, value.out(), &type, nullptr))) continue;
        row.emplace_back(Narrow(name.get()), WmiValueText(value.get(), type));
    }
    return row;
}

}  // namespace

WmiStatus Win32Wmi::Query(const std::string& query, bool connect_max_wait, bool read_values,
                          std::vector<WmiInstance>& out) {
    out.clear();
    // Declared first so it ends last: every interface is released before CoUninitialize.
    ComScope com;
    if (FAILED(com.status())) return Failed(WmiStep::CoInitialize, com.status());
    // Only the first call in a process can set the security; later ones fail harmlessly.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);

    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                  reinterpret_cast<void**>(locator.out()));
    if (FAILED(hr) || !locator) return Failed(WmiStep::CreateLocator, hr);

    ComPtr<IWbemServices> services;
    Bstr ns(L"ROOT\\CIMV2");
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr,
                                connect_max_wait ? WBEM_FLAG_CONNECT_USE_MAX_WAIT : 0, nullptr, nullptr,
                                services.out());
    if (FAILED(hr) || !services) return Failed(WmiStep::ConnectServer, hr);

    hr = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return Failed(WmiStep::SetProxyBlanket, hr);

    ComPtr<IEnumWbemClassObject> rows;
    Bstr language(L"WQL");
    Bstr text(Wide(query).c_str());
    hr = services->ExecQuery(language.get(), text.get(), kExecFlags, nullptr, rows.out());
    if (FAILED(hr) || !rows) return Failed(WmiStep::ExecQuery, hr);

    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG got = 0;
        hr = rows->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.out(), &got);
        // With "return immediately" a bad query surfaces here, not at ExecQuery: an error is
        // the query failing, not a short list.
        if (FAILED(hr)) {
            out.clear();
            return Failed(WmiStep::ExecQuery, hr);
        }
        if (hr != WBEM_S_NO_ERROR || got == 0 || !object) break;
        out.push_back(read_values ? ReadInstance(object.get()) : WmiInstance{});
    }
    return WmiStatus{true, WmiStep::None, 0};
}

}  // namespace orvane::platform::win32
