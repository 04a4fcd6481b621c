#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/about_dlg.h"
#include "ui/dialog_font.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"
#include "ui/image_button.h"
#include "ui/local_address_dlg.h"
#include "ui/settings_dlg.h"
#include "platform/text_table.h"

namespace {

// Set TESSEL_SCREENSHOT_DIR to keep pictures of the dialogs for a look by eye.
void KeepPicture(QWidget& widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("TESSEL_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        widget.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

QString TextOf(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return QString();
}

// The room a control needs for its whole text. Push buttons are measured by
// their text alone, since the style asks for a minimum width they never had.
int NeededWidth(const QWidget* control)
{
    if (qobject_cast<const QPushButton*>(control))
        return control->fontMetrics().horizontalAdvance(TextOf(control)) + 4;
    return control->sizeHint().width();
}

// Every text control shows its whole text, lies inside the dialog and
// overlaps no other control (a group box holds the controls inside it).
void CheckTextsFit(const QWidget& dialog)
{
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* control : controls) {
        const QString text = TextOf(control);
        QVERIFY2(dialog.rect().contains(control->geometry()), qPrintable(text));
        if (!text.isEmpty())
            QVERIFY2(NeededWidth(control) <= control->width(),
                     qPrintable(QStringLiteral("%1 needs %2 px, has %3")
                                    .arg(text).arg(NeededWidth(control)).arg(control->width())));
        for (const QWidget* other : controls) {
            if (other == control || qobject_cast<const QGroupBox*>(other)
                || qobject_cast<const QGroupBox*>(control))
                continue;
            QVERIFY2(!control->geometry().intersects(other->geometry()),
                     qPrintable(text + QStringLiteral(" overlaps ") + TextOf(other)));
        }
    }
}

} // namespace

class TestDialogLayout : public QObject {
    Q_OBJECT
private slots:
    void dialogFontIsMingFace();
    void dialogUnitsFollowTheFont();
    void settingsTextsFit();
    void addressTextsFit();
    void aboutTextsFit();
    void buttonRowPicture();
};

void TestDialogLayout::dialogFontIsMingFace()
{
    const QFontInfo info(CDialogFont::Font());
    QCOMPARE(info.family(), QStringLiteral("AR PL UMing TW"));
    QCOMPARE(info.pointSize(), 9);
}

void TestDialogLayout::dialogUnitsFollowTheFont()
{
    QFont small = CDialogFont::Font();
    QFont large = small;
    large.setPointSize(18);
    const CDialogUnits smallUnits(small);
    const CDialogUnits largeUnits(large);
    QVERIFY(largeUnits.X(100) > smallUnits.X(100) * 3 / 2);
    QVERIFY(largeUnits.Y(100) > smallUnits.Y(100) * 3 / 2);
    // Neighbouring controls meet exactly, whatever the rounding.
    const QRect left = smallUnits.Rect(0, 0, 46, 20);
    const QRect right = smallUnits.Rect(46, 0, 46, 20);
    QCOMPARE(left.right() + 1, right.left());
}

void TestDialogLayout::settingsTextsFit()
{
    CSettingsDlg dialog({.HomeDirectory = "/srv/分享"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CheckTextsFit(dialog);
    KeepPicture(dialog, QStringLiteral("settings"));
}

void TestDialogLayout::addressTextsFit()
{
    CLocalAddressDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CheckTextsFit(dialog);
    KeepPicture(dialog, QStringLiteral("address"));
}

void TestDialogLayout::aboutTextsFit()
{
    CAboutDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CheckTextsFit(dialog);
    KeepPicture(dialog, QStringLiteral("about"));
}

void TestDialogLayout::buttonRowPicture()
{
    // The main window's row: five buttons of 46 x 20 units, one disabled, one hot.
    QWidget row;
    row.setFont(CDialogFont::Font());
    const CDialogUnits units(row.font());
    const Text labels[] = {Text::ButtonStart, Text::ButtonStop, Text::ButtonSettings,
                           Text::ButtonAddress, Text::ButtonAbout};
    QList<CImageButton*> buttons;
    for (int i = 0; i < 5; ++i) {
        auto* button = new CImageButton(&row);
        button->setText(CDisplayText::Of(labels[i]));
        button->setGeometry(units.Rect(46 * i, 0, 46, 20));
        QVERIFY(button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6));
        button->SetLabelColor(Qt::black);
        button->SetOptions(CImageButton::kOptionHoverTracking, 0);
        buttons << button;
    }
    row.resize(units.Size(230, 20));
    buttons[1]->setEnabled(false);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(buttons[2], &enter);
    QTest::mousePress(buttons[3], Qt::LeftButton);
    KeepPicture(row, QStringLiteral("buttons"));
    QTest::mouseRelease(buttons[3], Qt::LeftButton);
    // Face pixels fill every button: the frame colour at the corner.
    const QImage shot = row.grab().toImage();
    QCOMPARE(shot.pixelColor(0, 0), QColor(0x2f, 0x5b, 0x8c));
}

QTEST_MAIN(TestDialogLayout)
#include "tst_dialog_layout.moc"
