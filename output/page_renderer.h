// Lays the pane's rich text out on printer pages and draws it with GDI, for
// rich edit controls that cannot print themselves.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

// A stretch of text in one character format, up to the next run's start.
struct TextRun {
    int32_t start;
    CHARFORMATA format;
};

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// A printer font made from one character format.
struct PageFont {
    CHARFORMATA format;
    FontHandle handle;
    TEXTMETRICA metrics;
    COLORREF colour;
};

// Text drawn in one font: text[start, start + length) at x (from the left of
// the text area) on the baseline, in device units.
struct PagePiece {
    int x;
    int baseline;
    size_t font;
    int32_t start;
    int32_t length;
};

// The text to print, copied with its formats, and the page laid out last.
struct PageRenderer {
    std::string text;
    std::vector<TextRun> runs;  // by start; the first starts at 0
    HDC dc;
    RECT area;                  // the text rectangle in device units
    int tabWidth;
    std::vector<PageFont> fonts;
    std::vector<size_t> runFonts;  // the font of each run
    std::vector<PagePiece> page;
};

// Copies the pane's text (or its selection) with its character formats;
// positions count from the start of the copy. 1 when no copy could be made.
int LoadPageText(PageRenderer& renderer, HWND pane, bool selectionOnly);
// Makes the fonts for the printer and places the text rectangle (in twips of
// the physical page) on it.
void BeginPageRendering(PageRenderer& renderer, HDC dc, const RECT& textTwips);
// Lays out the page that starts at start, breaking lines at blanks and words
// too long for a line where the line is full; returns where the next page
// starts, always beyond start while text is left.
int32_t LayOutTextPage(PageRenderer& renderer, int32_t start);
// Draws the page laid out last; false when the printer refused some text.
bool DrawTextPage(PageRenderer& renderer);
