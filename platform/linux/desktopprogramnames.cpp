#include "platform/linux/desktopprogramnames.h"

const QStringList &desktopProgramNames(DesktopProgram program)
{
    // The first of a list that is installed is started, so a desktop's own
    // program comes before a plainer one (xcalc) that may be there as well.
    static const QStringList opener{"xdg-open"};
    static const QStringList calculators{"gnome-calculator", "kcalc", "galculator", "xcalc"};
    static const QStringList textEditors{"gedit", "kate",  "mousepad",
                                         "xed",   "pluma", "gnome-text-editor"};
    // LibreOffice under either of the names its packages give it.
    static const QStringList officeSuites{"libreoffice", "soffice"};
    switch (program) {
    case DesktopProgram::Opener:
        return opener;
    case DesktopProgram::Calculator:
        return calculators;
    case DesktopProgram::TextEditor:
        return textEditors;
    case DesktopProgram::OfficeSuite:
        break;
    }
    return officeSuites;
}
