#include "output/page_renderer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int TWIPS_PER_INCH = 1440;
// The control's own default tab stops: every half inch.
constexpr int TAB_STOP_TWIPS = 720;
// Text without a size of its own prints at ten points.
constexpr LONG DEFAULT_HEIGHT_TWIPS = 200;
constexpr DWORD RUN_MASK = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_SIZE | CFM_COLOR | CFM_FACE |
                           CFM_CHARSET;
constexpr DWORD DRAWN_EFFECTS = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT | CFE_AUTOCOLOR;
constexpr LPARAM COPY_TEXT_LIMIT = 0x7FFFFFFE;

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using WindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

struct StreamCursor {
    std::string* text;
    size_t next;
};

DWORD CALLBACK StreamToString(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done)
{
    reinterpret_cast<StreamCursor*>(cookie)->text->append(reinterpret_cast<const char*>(buffer),
                                                          static_cast<size_t>(count));
    *done = count;
    return 0;
}

DWORD CALLBACK StreamFromString(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done)
{
    auto* cursor = reinterpret_cast<StreamCursor*>(cookie);
    const size_t size = std::min(cursor->text->size() - cursor->next, static_cast<size_t>(std::max<LONG>(count, 0)));
    memcpy(buffer, cursor->text->data() + cursor->next, size);
    cursor->next += size;
    *done = static_cast<LONG>(size);
    return 0;
}

// The format of copy[from, to); false when it changes within.
bool ReadFormat(HWND copy, int32_t from, int32_t to, CHARFORMATA& format)
{
    CHARRANGE range = {from, to};
    SendMessageA(copy, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    ZeroMemory(&format, sizeof format);
    format.cbSize = sizeof format;
    SendMessageA(copy, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    return (format.dwMask & RUN_MASK) == RUN_MASK;
}

// Where the run that starts at start ends: the stretch in one format is
// doubled until it is not, then the gap is halved, so a run costs a few
// questions to the control however long it is.
int32_t FindRunEnd(HWND copy, int32_t start, int32_t length)
{
    CHARFORMATA format;
    int32_t uniform = start + 1;
    int32_t mixed = -1;
    while (uniform < length) {
        const int32_t probe = std::min(length, start + 2 * (uniform - start));
        if (!ReadFormat(copy, start, probe, format)) {
            mixed = probe;
            break;
        }
        uniform = probe;
    }
    while (mixed > uniform + 1) {
        const int32_t middle = uniform + (mixed - uniform) / 2;
        if (ReadFormat(copy, start, middle, format))
            uniform = middle;
        else
            mixed = middle;
    }
    return uniform;
}

void ReadRuns(PageRenderer& renderer, HWND copy)
{
    const auto length = static_cast<int32_t>(renderer.text.size());
    for (int32_t start = 0; start < length;) {
        TextRun run = {start, {}};
        ReadFormat(copy, start, start + 1, run.format);
        renderer.runs.push_back(run);
        start = FindRunEnd(copy, start, length);
    }
}

bool SameFont(const CHARFORMATA& a, const CHARFORMATA& b)
{
    return a.yHeight == b.yHeight && (a.dwEffects & DRAWN_EFFECTS) == (b.dwEffects & DRAWN_EFFECTS) &&
           a.crTextColor == b.crTextColor && a.bCharSet == b.bCharSet && a.bPitchAndFamily == b.bPitchAndFamily &&
           strncmp(a.szFaceName, b.szFaceName, sizeof a.szFaceName) == 0;
}

size_t FontFor(PageRenderer& renderer, const CHARFORMATA& format)
{
    for (size_t i = 0; i < renderer.fonts.size(); ++i) {
        if (SameFont(renderer.fonts[i].format, format))
            return i;
    }
    LOGFONTA logical = {};
    const LONG height = format.yHeight > 0 ? format.yHeight : DEFAULT_HEIGHT_TWIPS;
    logical.lfHeight = -MulDiv(height, GetDeviceCaps(renderer.dc, LOGPIXELSY), TWIPS_PER_INCH);
    logical.lfWeight = (format.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
    logical.lfItalic = (format.dwEffects & CFE_ITALIC) ? TRUE : FALSE;
    logical.lfUnderline = (format.dwEffects & CFE_UNDERLINE) ? TRUE : FALSE;
    logical.lfStrikeOut = (format.dwEffects & CFE_STRIKEOUT) ? TRUE : FALSE;
    logical.lfCharSet = format.bCharSet;
    logical.lfPitchAndFamily = format.bPitchAndFamily;
    lstrcpynA(logical.lfFaceName, format.szFaceName, LF_FACESIZE);
    PageFont font = {format, FontHandle(CreateFontIndirectA(&logical)), {}, format.crTextColor};
    if (format.dwEffects & CFE_AUTOCOLOR)
        font.colour = GetSysColor(COLOR_WINDOWTEXT);
    SelectObject(renderer.dc, font.handle.get());
    GetTextMetricsA(renderer.dc, &font.metrics);
    renderer.fonts.push_back(std::move(font));
    return renderer.fonts.size() - 1;
}

size_t RunAt(const PageRenderer& renderer, int32_t position)
{
    const auto after = std::upper_bound(renderer.runs.begin(), renderer.runs.end(), position,
                                        [](int32_t value, const TextRun& run) { return value < run.start; });
    return static_cast<size_t>(after - renderer.runs.begin()) - 1;
}

int32_t RunEnd(const PageRenderer& renderer, size_t run)
{
    return run + 1 < renderer.runs.size() ? renderer.runs[run + 1].start
                                          : static_cast<int32_t>(renderer.text.size());
}

bool IsBlank(char c)
{
    return c == ' ';
}

bool IsWordCharacter(char c)
{
    return static_cast<unsigned char>(c) > ' ';
}

// One line being laid out.
struct Line {
    std::vector<PagePiece> pieces;
    int x;
    int ascent;
    int descent;
};

void UseFont(const PageRenderer& renderer, Line& line, size_t font)
{
    line.ascent = std::max(line.ascent, static_cast<int>(renderer.fonts[font].metrics.tmAscent));
    line.descent = std::max(line.descent, static_cast<int>(renderer.fonts[font].metrics.tmDescent));
}

int MeasureText(const PageRenderer& renderer, size_t font, int32_t start, int32_t length)
{
    SelectObject(renderer.dc, renderer.fonts[font].handle.get());
    SIZE size = {};
    GetTextExtentPoint32A(renderer.dc, renderer.text.data() + start, length, &size);
    return size.cx;
}

// The width of text[from, to), which may cross runs.
int MeasureSpan(const PageRenderer& renderer, int32_t from, int32_t to)
{
    int width = 0;
    for (int32_t start = from; start < to;) {
        const size_t run = RunAt(renderer, start);
        const int32_t end = std::min(to, RunEnd(renderer, run));
        width += MeasureText(renderer, renderer.runFonts[run], start, end - start);
        start = end;
    }
    return width;
}

void PlacePiece(const PageRenderer& renderer, Line& line, size_t font, int32_t start, int32_t length, int width)
{
    line.pieces.push_back({line.x, 0, font, start, length});
    UseFont(renderer, line, font);
    line.x += width;
}

void PlaceSpan(const PageRenderer& renderer, Line& line, int32_t from, int32_t to)
{
    for (int32_t start = from; start < to;) {
        const size_t run = RunAt(renderer, start);
        const int32_t end = std::min(to, RunEnd(renderer, run));
        const size_t font = renderer.runFonts[run];
        PlacePiece(renderer, line, font, start, end - start, MeasureText(renderer, font, start, end - start));
        start = end;
    }
}

// A word wider than a whole line fills the line and goes on in the next;
// at least one character is placed, so every line moves on.
int32_t PlaceBrokenWord(const PageRenderer& renderer, Line& line, int32_t from, int32_t to, int width)
{
    for (int32_t start = from; start < to;) {
        const size_t run = RunAt(renderer, start);
        const int32_t end = std::min(to, RunEnd(renderer, run));
        const size_t font = renderer.runFonts[run];
        SelectObject(renderer.dc, renderer.fonts[font].handle.get());
        INT fit = 0;
        SIZE size = {};
        GetTextExtentExPointA(renderer.dc, renderer.text.data() + start, end - start, std::max(width - line.x, 0),
                              &fit, nullptr, &size);
        if (fit >= end - start) {
            PlacePiece(renderer, line, font, start, end - start, size.cx);
            start = end;
            continue;
        }
        if (fit == 0 && start == from)
            fit = 1;
        if (fit > 0)
            PlacePiece(renderer, line, font, start, fit, MeasureText(renderer, font, start, fit));
        return start + fit;
    }
    return to;
}

// Lays out the line that starts at position; returns where the next starts.
int32_t LayOutLine(const PageRenderer& renderer, Line& line, int32_t position)
{
    const std::string& text = renderer.text;
    const auto length = static_cast<int32_t>(text.size());
    const int width = renderer.area.right - renderer.area.left;
    // An empty line is as high as the text at its start.
    UseFont(renderer, line, renderer.runFonts[RunAt(renderer, position)]);
    while (position < length) {
        const char c = text[position];
        if (c == '\r')
            return position + (position + 1 < length && text[position + 1] == '\n' ? 2 : 1);
        if (c == '\n')
            return position + 1;
        if (c == '\t') {
            const int stop = (line.x / renderer.tabWidth + 1) * renderer.tabWidth;
            if (stop > width)
                return position + 1;
            line.x = stop;
            ++position;
            continue;
        }
        if (!IsBlank(c) && !IsWordCharacter(c)) {
            ++position;
            continue;
        }
        int32_t end = position;
        while (end < length && (IsBlank(c) ? IsBlank(text[end]) : IsWordCharacter(text[end])))
            ++end;
        const int spanWidth = MeasureSpan(renderer, position, end);
        if (line.x + spanWidth <= width) {
            PlaceSpan(renderer, line, position, end);
            position = end;
            continue;
        }
        // Blanks at the end of a full line are dropped with it; a word that
        // does not fit starts the next line, unless it is too long for any.
        if (IsBlank(c))
            return end;
        if (line.x > 0)
            return position;
        return PlaceBrokenWord(renderer, line, position, end, width);
    }
    return position;
}

}

int LoadPageText(PageRenderer& renderer, HWND pane, bool selectionOnly)
{
    renderer.text.clear();
    renderer.runs.clear();
    std::string rich;
    StreamCursor cursor = {&rich, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&cursor), 0, StreamToString};
    SendMessageA(pane, EM_STREAMOUT, SF_RTF | (selectionOnly ? SFF_SELECTION : 0), reinterpret_cast<LPARAM>(&stream));
    // The copy's selection moves freely while formats are read from it; the
    // pane's own selection and scrolling stay as the user left them.
    WindowHandle copy(CreateWindowExA(0, "RichEdit", "", ES_MULTILINE, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleA(nullptr), nullptr));
    if (!copy)
        return 1;
    SendMessageA(copy.get(), EM_EXLIMITTEXT, 0, COPY_TEXT_LIMIT);
    stream.pfnCallback = StreamFromString;
    SendMessageA(copy.get(), EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    const int length = GetWindowTextLengthA(copy.get());
    std::vector<char> text(static_cast<size_t>(length) + 1);
    TEXTRANGEA range = {{0, length}, text.data()};
    const LRESULT copied = SendMessageA(copy.get(), EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    renderer.text.assign(text.data(), static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
    ReadRuns(renderer, copy.get());
    return 0;
}

void BeginPageRendering(PageRenderer& renderer, HDC dc, const RECT& textTwips)
{
    renderer.dc = dc;
    const int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    const int offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
    const int offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    renderer.area = {MulDiv(textTwips.left, dpiX, TWIPS_PER_INCH) - offsetX,
                     MulDiv(textTwips.top, dpiY, TWIPS_PER_INCH) - offsetY,
                     MulDiv(textTwips.right, dpiX, TWIPS_PER_INCH) - offsetX,
                     MulDiv(textTwips.bottom, dpiY, TWIPS_PER_INCH) - offsetY};
    renderer.tabWidth = std::max(1, MulDiv(TAB_STOP_TWIPS, dpiX, TWIPS_PER_INCH));
    renderer.fonts.clear();
    renderer.runFonts.clear();
    const int saved = SaveDC(dc);
    for (const TextRun& run : renderer.runs)
        renderer.runFonts.push_back(FontFor(renderer, run.format));
    RestoreDC(dc, saved);
}

int32_t LayOutTextPage(PageRenderer& renderer, int32_t start)
{
    renderer.page.clear();
    const auto length = static_cast<int32_t>(renderer.text.size());
    const int saved = SaveDC(renderer.dc);
    int top = renderer.area.top;
    int32_t position = start;
    for (bool first = true; position < length; first = false) {
        Line line = {{}, 0, 0, 0};
        const int32_t next = LayOutLine(renderer, line, position);
        // The first line always goes on the page, however high, so that
        // every page moves on.
        if (!first && top + line.ascent + line.descent > renderer.area.bottom)
            break;
        for (PagePiece& piece : line.pieces) {
            piece.baseline = top + line.ascent;
            renderer.page.push_back(piece);
        }
        top += line.ascent + line.descent;
        position = next;
    }
    RestoreDC(renderer.dc, saved);
    return position;
}

bool DrawTextPage(PageRenderer& renderer)
{
    const int saved = SaveDC(renderer.dc);
    SetBkMode(renderer.dc, TRANSPARENT);
    SetTextAlign(renderer.dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    bool drawn = true;
    std::vector<INT> advances;
    for (const PagePiece& piece : renderer.page) {
        const PageFont& font = renderer.fonts[piece.font];
        const char* text = renderer.text.data() + piece.start;
        SelectObject(renderer.dc, font.handle.get());
        SetTextColor(renderer.dc, font.colour);
        // Every character goes where the layout measured it: some printer
        // drivers place text by other widths than they measure, and lines
        // would run into the margin.
        advances.assign(static_cast<size_t>(piece.length), 0);
        SIZE size = {};
        GetTextExtentExPointA(renderer.dc, text, piece.length, 0, nullptr, advances.data(), &size);
        for (size_t i = advances.size(); i > 1; --i)
            advances[i - 1] -= advances[i - 2];
        if (!ExtTextOutA(renderer.dc, renderer.area.left + piece.x, piece.baseline, 0, nullptr, text,
                         static_cast<UINT>(piece.length), advances.data()))
            drawn = false;
    }
    RestoreDC(renderer.dc, saved);
    return drawn;
}
