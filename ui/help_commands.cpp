#include "ui/help_commands.h"

#include <shellapi.h>
#include <cstdio>

#include "entries/message_box.h"
#include "output/answer_buffers.h"
#include "output/html_output.h"
#include "resources/resource.h"

namespace {

// The finger protocol's own public document stands for the program's web page.
const char WEB_PAGE[] = "https://www.rfc-editor.org/rfc/rfc1288";
// A new message with the subject filled in; the user chooses the recipient.
const char MAIL_LINK[] = "mailto:?subject=Ombrelane%20" OMBRELANE_VERSION_TEXT;

// What a failed launch of one document says.
struct DocumentTexts {
    const char* title;
    const char* noAssociation;  // for SE_ERR_NOASSOC
};

void OpenAboutTarget(HWND dialog, const char* target, const char* title)
{
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(dialog, "open", target, "", "", SW_SHOWNORMAL));
    if (result > 32)
        return;
    char text[160];
    snprintf(text, sizeof text, "Couldn't visit \"%s\"", target);
    ShowMessageBox(text, title);
}

void OnAboutButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_ABOUT_OK:
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case IDC_ABOUT_WEB_PAGE:
        OpenAboutTarget(dialog, WEB_PAGE, "Visit Corvale");
        break;
    case IDC_ABOUT_EMAIL:
        OpenAboutTarget(dialog, MAIL_LINK, "E-mail Corvale");
        break;
    }
}

INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAboutButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

// The associated program gets the path as its one argument, so a program
// folder with blanks (the usual install folder has one) arrives whole.
void OpenDocument(HWND owner, const char* path, const DocumentTexts& texts)
{
    char program[PATH_SIZE];
    if (FindAssociatedProgram(path, "", program) != 0)
        return;
    const INT_PTR result = OpenWithProgram(owner, program, path);
    if (result > 32)
        return;
    char text[PATH_SIZE + 160];
    if (result == SE_ERR_NOASSOC)
        snprintf(text, sizeof text, texts.noAssociation, path);
    else
        snprintf(text, sizeof text, "Couldn't open \"%s\"\n\nYou may need to reinstall Ombrelane.", path);
    ShowMessageBox(text, texts.title);
}

}

void ShowAboutBox(HWND owner)
{
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProcedure, 0);
}

void OpenHelpDocument(HWND owner)
{
    char path[PATH_SIZE + 32];
    snprintf(path, sizeof path, "%shelp\\%s", ProgramFolder, "Ombrelane.htm");
    OpenDocument(owner, path,
                 {"Ombrelane Help", "Couldn't open \"%s\"\n\nOmbrelane requires that a web browser is installed\n"
                                    "for the help file to be accessable."});
}

void OpenWhatsNew(HWND owner)
{
    char path[PATH_SIZE + 32];
    snprintf(path, sizeof path, "%s%s", ProgramFolder, "whatsnew.txt");
    OpenDocument(owner, path,
                 {"Ombrelane What's New", "Couldn't open \"%s\"\n\nNo association for the whatsnew file.\n"});
}
