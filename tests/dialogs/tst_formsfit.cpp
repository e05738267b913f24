// Every form with the CJK font Ferrule maps "微软雅黑" to: no label, button,
// check box or tab shows its text cut, neither by its own size nor by a
// widget drawn over it. Each page of every stacked or tab widget is looked at.
#include "app/fonts.h"
#include "ui/convenienttool.h"
#include "ui/customfunctiondialog.h"
#include "ui/mainwindow.h"
#include "ui/promptmessagedialog.h"
#include "ui/softwaresettingsdialog.h"
#include "ui/useintructionsdialog.h"
#include "ui/userlogindialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QString nameOf(const QWidget *widget)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(widget->metaObject()->className()),
                                       widget->objectName());
}

// The text's own rectangle inside room, where the alignment puts it.
QRect textRect(const QWidget *widget, Qt::Alignment alignment, QSize need, const QRect &room)
{
    return QStyle::alignedRect(widget->layoutDirection(), alignment, need, room);
}

// Whether a sibling drawn after widget (so on top of it) covers part of rect,
// which is in widget's coordinates.
const QWidget *coveredBy(const QWidget *widget, const QRect &rect)
{
    const QWidget *parent = widget->parentWidget();
    if (!parent || widget->isWindow())
        return nullptr;
    const QRect inParent = rect.translated(widget->pos());
    bool after = false;
    for (QObject *child : parent->children()) {
        if (child == widget) {
            after = true;
            continue;
        }
        auto *sibling = qobject_cast<QWidget *>(child);
        if (after && sibling && sibling->isVisible() && !sibling->isWindow() &&
            sibling->geometry().intersects(inParent))
            return sibling;
    }
    return nullptr;
}

// One line of text drawn into room with alignment: it must fit the room's
// width, its ink must lie inside the widget (which clips the painting), and
// no sibling drawn later may cover it.
QString lineCut(const QWidget *widget, const QString &text, Qt::Alignment alignment,
                const QRect &room)
{
    const QFontMetrics metrics(widget->font());
    const QSize need(metrics.horizontalAdvance(text), metrics.height());
    const QRect line = textRect(widget, alignment, need, room);
    const QRect ink =
        metrics.tightBoundingRect(text).translated(line.left(), line.top() + metrics.ascent());
    if (need.width() > room.width())
        return QStringLiteral("needs %1 wide, has %2").arg(need.width()).arg(room.width());
    if (ink.top() < 0 || ink.bottom() >= widget->height())
        return QStringLiteral("ink from y %1 to %2, widget %3 high")
            .arg(ink.top())
            .arg(ink.bottom())
            .arg(widget->height());
    if (const QWidget *over =
            coveredBy(widget, line.intersected(ink.adjusted(-100000, 0, 100000, 0))))
        return QStringLiteral("covered by %1").arg(nameOf(over));
    return QString();
}

QString plain(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("&(?=[^&])")));
    return text;
}

// What is wrong with the label's text, empty when it fits.
QString labelCut(const QLabel *label)
{
    if (label->text().isEmpty() || !label->pixmap(Qt::ReturnByValue).isNull())
        return QString();
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                      -label->margin(), -label->margin());
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    QSize need;
    if (rich) {
        QTextDocument doc;
        doc.setDefaultFont(label->font());
        doc.setDocumentMargin(0);
        doc.setHtml(label->text());
        if (label->wordWrap())
            doc.setTextWidth(room.width());
        need = QSize(qCeil(label->wordWrap() ? doc.size().width() : doc.idealWidth()),
                     qCeil(doc.size().height()));
    } else {
        const QFontMetrics metrics(label->font());
        const int flags = label->wordWrap() ? int(Qt::TextWordWrap) : 0;
        need = metrics
                   .boundingRect(QRect(0, 0, label->wordWrap() ? room.width() : 100000, 100000),
                                 flags, label->text())
                   .size();
    }
    const bool oneLine = !rich && !label->wordWrap() && !label->text().contains(QLatin1Char('\n'));
    if (oneLine)
        return lineCut(label, label->text(), label->alignment(), room);
    if (need.width() > room.width() || need.height() > room.height())
        return QStringLiteral("needs %1 x %2, has %3 x %4")
            .arg(need.width())
            .arg(need.height())
            .arg(room.width())
            .arg(room.height());
    if (const QWidget *over = coveredBy(label, textRect(label, label->alignment(), need, room)))
        return QStringLiteral("covered by %1").arg(nameOf(over));
    return QString();
}

QString buttonCut(const QAbstractButton *button)
{
    const QString text = plain(button->text());
    if (text.isEmpty())
        return QString();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox *>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton *>(button))
        element = QStyle::SE_RadioButtonContents;
    QRect room = button->style()->subElementRect(element, &option, button);
    if (qobject_cast<const QToolButton *>(button))
        room = button->contentsRect();
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    const bool pushButton = qobject_cast<const QPushButton *>(button);
    return lineCut(button, text, pushButton ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter,
                   room.adjusted(icon, 0, 0, 0));
}

QStringList tabCuts(const QTabBar *bar)
{
    QStringList cuts;
    const QFontMetrics metrics(bar->font());
    for (int i = 0; i < bar->count(); ++i) {
        const int need = metrics.horizontalAdvance(plain(bar->tabText(i)));
        const int room = bar->tabRect(i).width();
        if (need > room || bar->tabRect(i).right() > bar->width())
            cuts << QStringLiteral("tab \"%1\" needs %2, has %3 of %4")
                        .arg(bar->tabText(i))
                        .arg(need)
                        .arg(room)
                        .arg(bar->width());
    }
    return cuts;
}

// The cut texts of the widgets now on screen in form.
QStringList cutsNow(QWidget *form)
{
    QStringList cuts;
    const auto note = [&cuts](const QWidget *widget, const QString &text, const QString &cut) {
        if (!cut.isEmpty())
            cuts << QStringLiteral("%1 \"%2\": %3").arg(nameOf(widget), text.left(20), cut);
    };
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget))
            note(label, label->text(), labelCut(label));
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            note(button, button->text(), buttonCut(button));
        else if (auto *bar = qobject_cast<QTabBar *>(widget))
            for (const QString &cut : tabCuts(bar))
                note(bar, QString(), cut);
    }
    return cuts;
}

// Every page of every stacked widget and tab widget, one after the other.
QStringList cutsOnEveryPage(QWidget *form)
{
    QStringList cuts = cutsNow(form);
    for (QStackedWidget *stack : form->findChildren<QStackedWidget *>()) {
        const int current = stack->currentIndex();
        for (int i = 0; i < stack->count(); ++i) {
            stack->setCurrentIndex(i);
            QCoreApplication::processEvents();
            cuts << cutsNow(form);
        }
        stack->setCurrentIndex(current);
    }
    cuts.removeDuplicates();
    return cuts;
}

} // namespace

Q_DECLARE_METATYPE(std::function<QWidget *()>)

class TestFormsFit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        QVERIFY2(QFontInfo(QFont(QStringLiteral("微软雅黑"))).family() ==
                     QLatin1String("WenQuanYi Micro Hei"),
                 "fonts-wqy-microhei is not installed");
    }

    void textsFit_data()
    {
        using Make = std::function<QWidget *()>;
        QTest::addColumn<Make>("make");
        QTest::newRow("MainWindow") << Make([] { return new MainWindow; });
        QTest::newRow("ConvenientTool") << Make([] { return new ConvenientTool; });
        QTest::newRow("CustomFunctionDialog") << Make([] { return new CustomFunctionDialog; });
        QTest::newRow("PromptMessageDialog") << Make([] { return new PromptMessageDialog; });
        QTest::newRow("SoftwareSettingsDialog") << Make([] { return new SoftwareSettingsDialog; });
        QTest::newRow("UseIntructionsDialog") << Make([] { return new UseIntructionsDialog; });
        QTest::newRow("UserLogInDialog") << Make([] { return new UserLogInDialog; });
    }

    void textsFit()
    {
        QFETCH(std::function<QWidget *()>, make);
        std::unique_ptr<QWidget> form(make());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QStringList cuts = cutsOnEveryPage(form.get());
        QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestFormsFit)
#include "tst_formsfit.moc"
