#pragma once

// The kinds of program a spoken command starts. The logic asks for a kind; the
// platform knows which programs of that kind its desktops ship, and which it
// prefers when several are installed.
enum class DesktopProgram
{
    Opener, // hands a folder or file to the file manager or its default application
    Calculator,
    TextEditor,
    OfficeSuite // LibreOffice: --writer opens a new document, --calc a new spreadsheet
};
