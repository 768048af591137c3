// box_probe CAPTION: describes the visible message box captioned CAPTION, for the window checks
// under Wine (xdotool sees only top-level X windows, not a box's text or its buttons). Whether
// the box is topmost cannot be read here: Wine's message box ignores MB_TOPMOST.
// Prints, in UTF-8 with LF line ends:
//   icon: LEFT TOP RIGHT BOTTOM     (screen rectangle of the box's icon, or "icon: none")
//   button: TEXT                    (one line per push button, in window order)
//   text:                           (then the box's text exactly, up to the end of the output)
// Exit code 0 when such a box was found, 1 when not, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// WM_GETTEXT is marshalled across processes; a hung box must not hang the check.
std::wstring TextOf(HWND w) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::vector<wchar_t> buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, 2000,
                        &got);
    return std::wstring(buf.data(), got);
}

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND w, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(w) && ClassOf(w) == L"#32770" && TextOf(w) == s->caption) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

struct Parts {
    std::vector<std::wstring> buttons;
    std::wstring text;
    RECT icon{};
    bool has_icon = false;
};

BOOL CALLBACK CollectParts(HWND w, LPARAM param) {
    auto* p = reinterpret_cast<Parts*>(param);
    const std::wstring cls = ClassOf(w);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    if (cls == L"Button") {
        if (IsWindowVisible(w)) p->buttons.push_back(TextOf(w));
    } else if (cls == L"Static") {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            // An icon control without an icon is hidden by the box.
            if (IsWindowVisible(w)) p->has_icon = GetWindowRect(w, &p->icon) != 0;
        } else if (p->text.empty()) {
            p->text = TextOf(w);
        }
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: box_probe CAPTION\n", stderr);
        return 2;
    }
    // The text is printed byte for byte: no CR added before its line feeds.
    _setmode(_fileno(stdout), _O_BINARY);
    Search s{argv[1]};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    if (!s.found) return 1;

    Parts p;
    EnumChildWindows(s.found, CollectParts, reinterpret_cast<LPARAM>(&p));
    if (p.has_icon)
        std::printf("icon: %ld %ld %ld %ld\n", p.icon.left, p.icon.top, p.icon.right, p.icon.bottom);
    else
        std::printf("icon: none\n");
    for (const std::wstring& b : p.buttons) std::printf("button: %s\n", Utf8(b).c_str());
    std::printf("text:\n%s", Utf8(p.text).c_str());
    return 0;
}
