#include "actions/commandinterpreter.h"

#include "actions/commandtext.h"
#include "actions/desktopprograms.h"
#include "actions/searchsites.h"
#include "actions/typing.h"
#include "app/confirmations.h"
#include "app/customcommands.h"
#include "app/logsafe.h"
#include "app/promptsink.h"
#include "platform/platform.h"

#include <QDebug>
#include <QUrl>

using commandtext::encodeTerm;
using commandtext::searchTerm;

namespace {

// The keywords of the spoken commands.
const QString kSearch = QStringLiteral("搜");
const QString kSearchLong = QStringLiteral("搜索");
const QString kWatch = QStringLiteral("看");
const QString kBuy = QStringLiteral("买");
const QString kListen = QStringLiteral("听");
const QString kEat = QStringLiteral("吃");
const QString kRestaurant = QStringLiteral("餐厅");
const QString kDriveD = QStringLiteral("d盘");
const QString kCalculator = QStringLiteral("计算器");
const QString kNotepad = QStringLiteral("记事本");
const QString kWord = QStringLiteral("word");
const QString kExcel = QStringLiteral("excel");

// Table entries that the watch and buy commands search on.
const QByteArray kVideoSite = QStringLiteral("优酷").toUtf8();
const QByteArray kShoppingSite = QStringLiteral("淘宝").toUtf8();

void openPage(const QByteArray &url)
{
    platform().openUrl(QUrl(QString::fromUtf8(url), QUrl::TolerantMode));
}

void searchSites(const QString &sentence, const WebSearchTable &table)
{
    const bool search = sentence.contains(kSearch) || sentence.contains(kSearchLong);
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry) {
        const QString name = QString::fromUtf8(entry.key());
        if (name.isEmpty() || !sentence.contains(name))
            continue;
        if (!search) {
            openPage(entry.value());
            continue;
        }
        QString term;
        if (sentence.contains(kSearchLong)) {
            term = searchTerm(sentence, kSearchLong);
            qDebug().noquote() << logSafe(term);
        } else {
            term = searchTerm(sentence, kSearch);
        }
        openPage(entry.value() + encodeTerm(term));
    }
}

void searchOnEntry(const QString &sentence, const QString &keyword, const WebSearchTable &table,
                   const QByteArray &site)
{
    if (!sentence.contains(keyword))
        return;
    const auto entry = table.constFind(site);
    if (entry != table.constEnd())
        openPage(entry.value() + encodeTerm(searchTerm(sentence, keyword)));
}

void runAction(const CustomAction &action, const QDeadlineTimer &openersDeadline)
{
    // The file may have been edited by hand.
    if (!customcommands::isOpenable(action)) {
        qDebug().noquote() << "custom command target skipped:" << action.target << "!";
        return;
    }
    if (action.kind == CustomAction::Kind::WebAddress)
        platform().openUrl(QUrl(action.target, QUrl::TolerantMode));
    else
        desktopprograms::openWithDesktop(action.target, openersDeadline);
}

// The user's own words, read afresh for every utterance like the site table,
// so a word saved in the dialog works at the next press.
void runCustomCommands(const QString &sentence, const QDeadlineTimer &openersDeadline)
{
    const std::optional<CustomCommandList> commands = customcommands::load();
    if (!commands || commands->isEmpty())
        return;
    QStringList words;
    for (const CustomCommand &command : *commands) {
        // The file may have been edited by hand; an empty word is never spoken.
        const bool speakable = customcommands::isSpeakable(command.word);
        if (!speakable)
            qDebug().noquote() << "custom command word skipped:" << command.word << "!";
        words << (speakable ? command.word : QString());
    }
    for (const int index : commandtext::wordsSpoken(sentence, words)) {
        const CustomCommand &command = commands->at(index);
        qDebug().noquote() << "custom command" << command.word << "!";
        for (const CustomAction &action : command.actions)
            runAction(action, openersDeadline);
    }
}

} // namespace

void interpretCommand(const char *utf8, const WebSearchTable &table)
{
    if (!utf8)
        utf8 = "";
    typeText(utf8);

    const QString text = QString::fromUtf8(utf8);
    qDebug().noquote() << logSafe(text);
    const QString sentence = commandtext::firstSentence(text);
    qDebug().noquote() << logSafe(sentence);

    // Asking the user to speak up is more than a confirmation: always shown.
    if (utf8[0] == '\0')
        showPrompt(QStringLiteral("请你说大点声！"));
    else if (confirmationsShown())
        showPrompt(sentence);

    searchSites(sentence, table);
    searchOnEntry(sentence, kWatch, table, kVideoSite);
    searchOnEntry(sentence, kBuy, table, kShoppingSite);
    if (sentence.contains(kListen))
        openPage(searchsites::musicSearch + encodeTerm(searchTerm(sentence, kListen)));
    if (sentence.contains(kEat) || sentence.contains(kRestaurant)) {
        // Without "吃" the words after "餐厅" are what the user looks for.
        const QString &keyword = sentence.contains(kEat) ? kEat : kRestaurant;
        openPage(searchsites::restaurantSearch + encodeTerm(searchTerm(sentence, keyword)));
    }
    // One wait for all the folders and files the sentence opens.
    const QDeadlineTimer openersDeadline(desktopprograms::kOpenersWaitMs);
    if (sentence.contains(kDriveD))
        desktopprograms::openProjectFolder(openersDeadline);
    if (sentence.contains(kCalculator))
        desktopprograms::startCalculator();
    if (sentence.contains(kNotepad))
        desktopprograms::startTextEditor();
    if (sentence.contains(kWord))
        desktopprograms::newTextDocument();
    if (sentence.contains(kExcel))
        desktopprograms::newSpreadsheet();
    runCustomCommands(sentence, openersDeadline);
}
