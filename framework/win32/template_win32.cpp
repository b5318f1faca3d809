// The framework's dialog templates as the system's DLGTEMPLATEEX.
#include "win32_internal.h"

#include <cstdlib>
#include <string>

namespace {

// Appends the words of a DLGTEMPLATEEX; text is UTF-16, each string ends with a zero word.
class TemplateWriter {
public:
    void Word(WORD value) { m_words.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const char* text) {
        const char* from = text ? text : "";
        int length = MultiByteToWideChar(CP_UTF8, 0, from, -1, nullptr, 0);
        std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
        if (length > 0) MultiByteToWideChar(CP_UTF8, 0, from, -1, wide.data(), length);
        for (wchar_t c : wide) Word(static_cast<WORD>(c)); // the terminator included
    }
    // A control's title: "#<id>" names a resource (an SS_ICON static's icon) by number.
    void Title(const char* text) {
        if (text && text[0] == '#') {
            Word(0xFFFF);
            Word(static_cast<WORD>(std::atoi(text + 1)));
        } else {
            Text(text);
        }
    }
    void AlignDword() {
        if (m_words.size() % 2) Word(0);
    }
    std::vector<DWORD> Finish() {
        AlignDword();
        std::vector<DWORD> out(m_words.size() / 2);
        for (size_t i = 0; i < out.size(); ++i) out[i] = m_words[2 * i] | (DWORD{m_words[2 * i + 1]} << 16);
        return out;
    }

private:
    std::vector<WORD> m_words;
};

// A text static wraps at word boundaries, but one only a line high (8 dialog units) has no second
// line to show: it keeps its text on the line, clipped at the box's edge, instead of losing its last
// words to a line nobody sees (what a face a little wider than the template's, as Wine's, does).
DWORD ItemStyle(const DialogItemTemplate& item) {
    const bool oneLineText = item.windowClass && lstrcmpiA(item.windowClass, "Static") == 0 &&
                             (item.style & SS_TYPEMASK) == SS_LEFT && item.cy < 16;
    return oneLineText ? (item.style & ~DWORD{SS_TYPEMASK}) | SS_LEFTNOWORDWRAP : item.style;
}

void WriteItem(TemplateWriter& w, const DialogItemTemplate& item) {
    w.AlignDword();
    w.Dword(0); // help id
    w.Dword(0); // extended style
    w.Dword(ItemStyle(item));
    for (int v : {item.x, item.y, item.cx, item.cy}) w.Word(static_cast<WORD>(v));
    w.Dword(static_cast<DWORD>(item.id));
    w.Text(item.windowClass);
    w.Title(item.text);
    w.Word(0); // no creation data
}

} // namespace

namespace afx_detail {

std::vector<DWORD> BuildDialogTemplate(const DialogTemplate& t) {
    TemplateWriter w;
    const bool font = t.fontName && t.fontName[0];
    w.Word(1);      // version
    w.Word(0xFFFF); // the extended form
    w.Dword(0);     // help id
    w.Dword(t.exStyle);
    w.Dword(font ? (t.style | DS_SETFONT) : (t.style & ~DWORD{DS_SETFONT}));
    w.Word(static_cast<WORD>(t.items.size()));
    for (int v : {t.x, t.y, t.cx, t.cy}) w.Word(static_cast<WORD>(v));
    w.Word(0); // no menu
    w.Word(0); // the system's dialog class
    w.Text(t.caption);
    if (font) {
        w.Word(static_cast<WORD>(t.pointSize));
        w.Word(FW_NORMAL);
        w.Word(MAKEWORD(FALSE, DEFAULT_CHARSET)); // italic, character set
        w.Text(t.fontName);
    }
    for (const DialogItemTemplate& item : t.items) WriteItem(w, item);
    return w.Finish();
}

} // namespace afx_detail
