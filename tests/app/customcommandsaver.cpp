// Saves one of two custom command lists in the current folder, turn about,
// over and over until killed.
#include "app/customcommands.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Lists of some size, so that a kill often lands inside a write.
    CustomCommandList lists[2];
    for (int i = 0; i < 200; ++i) {
        const QString word = QStringLiteral("命令词%1").arg(i);
        lists[0].append({word, {{CustomAction::Kind::WebAddress, "https://a.example/" + word}}});
        lists[1].append({word, {{CustomAction::Kind::Folder, "/tmp/" + word}}});
    }
    for (int i = 0;; ++i) {
        customcommands::save(lists[i % 2]);
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
