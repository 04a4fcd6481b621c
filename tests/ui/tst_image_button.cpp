#include <QEnterEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ui/image_button.h"

namespace {

constexpr int kMargin = 6;
const QColor kFaceColors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

// A strip of plain faces, one colour each, so a grabbed pixel tells the face.
QString PlainStrip(const QTemporaryDir& dir, int faces)
{
    QImage strip(20 * faces, 16, QImage::Format_RGB32);
    for (int i = 0; i < faces; ++i)
        QPainter(&strip).fillRect(20 * i, 0, 20, 16, kFaceColors[i]);
    const QString path = dir.filePath(QStringLiteral("plain%1.png").arg(faces));
    strip.save(path);
    return path;
}

// Faces whose corners are noise, whose top and bottom edges change colour
// only from row to row and whose side edges only from column to column: any
// scaling of a corner, or stretching an edge the wrong way, changes pixels.
QImage PatternStrip(int faces, int faceWidth, int faceHeight)
{
    QImage strip(faceWidth * faces, faceHeight, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < faceHeight; ++y) {
        for (int x = 0; x < strip.width(); ++x) {
            const int fx = x % faceWidth;
            const bool sideX = fx < kMargin || fx >= faceWidth - kMargin;
            const bool sideY = y < kMargin || y >= faceHeight - kMargin;
            seed = seed * 1103515245 + 12345;
            QRgb pixel = qRgb(200, 200, 200);
            if (sideX && sideY)
                pixel = qRgb(seed >> 24, seed >> 16 & 0xFF, seed >> 8 & 0xFF);
            else if (sideY)
                pixel = qRgb(30 * (x / faceWidth), 10 * y, 100);
            else if (sideX)
                pixel = qRgb(30 * (x / faceWidth), 100, 10 * fx);
            strip.setPixel(x, y, pixel);
        }
    }
    return strip;
}

// The window the button lives in, with an edit box holding the keyboard focus.
struct Window {
    QWidget top;
    QLineEdit* edit = new QLineEdit(&top);
    CImageButton* button = new CImageButton(&top);

    Window()
    {
        top.resize(300, 100);
        edit->setGeometry(10, 60, 100, 24);
        button->setGeometry(10, 10, 90, 30);
        button->setText(QStringLiteral("啟    動"));
        button->SetOptions(CImageButton::kOptionHoverTracking, 0);
    }
    bool Show()
    {
        top.show();
        QApplication::setActiveWindow(&top);
        edit->setFocus();
        return QTest::qWaitForWindowExposed(&top);
    }
};

QPoint Outside(const QWidget* button)
{
    return QPoint(button->width() + 20, button->height() + 20);
}

void Enter(QWidget* widget)
{
    const QPointF inside(3, 3);
    QEnterEvent event(inside, inside, widget->mapToGlobal(inside));
    QApplication::sendEvent(widget, &event);
}

void Leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestImageButton : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dragOffAndReleaseSendsNothing();
    void dragOffAndBackSendsOne();
    void doubleClickSendsTwo();
    void clickLeavesFocusWhereItWas();
    void spaceClicksFocusedButton();
    void faceFollowsState_data();
    void faceFollowsState();
    void leaveClearsHoverAndDisabledStaysDark();
    void buttonWithoutFacesPaintsNothing();
    void cornersStayUnscaled_data();
    void cornersStayUnscaled();
    void setOptionsReplacesMaskedBits();
    void magentaShowsTheParent();
    void labelKeepsItsPlace_data();
    void labelKeepsItsPlace();

private:
    QTemporaryDir m_Dir;
};

void TestImageButton::initTestCase()
{
    QVERIFY(m_Dir.isValid());
}

void TestImageButton::dragOffAndReleaseSendsNothing()
{
    Window window;
    QVERIFY(window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6));
    QVERIFY(window.Show());
    QSignalSpy clicks(window.button, &QAbstractButton::clicked);
    QTest::mousePress(window.button, Qt::LeftButton);
    QCOMPARE(window.button->ChosenFace(), 1);
    QTest::mouseMove(window.button, Outside(window.button));
    QVERIFY(!window.button->isDown());
    QTest::mouseRelease(window.button, Qt::LeftButton, {}, Outside(window.button));
    QCOMPARE(clicks.count(), 0);
    // The capture is over: the edit box takes the next click.
    QTest::mouseClick(window.edit, Qt::LeftButton);
    QCOMPARE(clicks.count(), 0);
}

void TestImageButton::dragOffAndBackSendsOne()
{
    Window window;
    window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6);
    QVERIFY(window.Show());
    QSignalSpy clicks(window.button, &QAbstractButton::clicked);
    QTest::mousePress(window.button, Qt::LeftButton);
    QTest::mouseMove(window.button, Outside(window.button));
    QTest::mouseMove(window.button, QPoint(5, 5));
    QVERIFY(window.button->isDown());
    QTest::mouseRelease(window.button, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
}

void TestImageButton::doubleClickSendsTwo()
{
    Window window;
    window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6);
    QVERIFY(window.Show());
    QSignalSpy clicks(window.button, &QAbstractButton::clicked);
    // What the desktop delivers for a double-click: press, release, double-click, release.
    QTest::mouseClick(window.button, Qt::LeftButton);
    QTest::mouseDClick(window.button, Qt::LeftButton);
    QVERIFY(window.button->isDown());
    QTest::mouseRelease(window.button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 2);
}

void TestImageButton::clickLeavesFocusWhereItWas()
{
    Window window;
    window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6);
    QVERIFY(window.Show());
    QTRY_VERIFY(window.edit->hasFocus());
    QSignalSpy clicks(window.button, &QAbstractButton::clicked);
    QTest::mouseClick(window.button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(window.edit->hasFocus());
}

void TestImageButton::spaceClicksFocusedButton()
{
    Window window;
    window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6);
    QVERIFY(window.Show());
    QTRY_VERIFY(window.edit->hasFocus());
    // Tab order: the edit box was created first, the button next.
    QTest::keyClick(window.edit, Qt::Key_Tab);
    QTRY_VERIFY(window.button->hasFocus());
    QSignalSpy clicks(window.button, &QAbstractButton::clicked);
    QTest::keyClick(window.button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 1);
}

void TestImageButton::faceFollowsState_data()
{
    QTest::addColumn<int>("faces");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<int>("expected");

    QTest::newRow("four: normal") << 4 << true << false << false << 0;
    QTest::newRow("four: pressed") << 4 << true << true << true << 1;
    QTest::newRow("four: disabled") << 4 << false << false << false << 2;
    QTest::newRow("four: hot") << 4 << true << true << false << 3;
    QTest::newRow("four: disabled under the cursor") << 4 << false << true << false << 3;
    QTest::newRow("two: pressed") << 2 << true << true << true << 1;
    QTest::newRow("two: disabled") << 2 << false << false << false << 0;
    QTest::newRow("two: hot") << 2 << true << true << false << 0;
    QTest::newRow("one: pressed") << 1 << true << true << true << 0;
    QTest::newRow("one: disabled") << 1 << false << false << false << 0;
    QTest::newRow("one: hot") << 1 << true << true << false << 0;
}

void TestImageButton::faceFollowsState()
{
    QFETCH(int, faces);
    QFETCH(bool, enabled);
    QFETCH(bool, hovered);
    QFETCH(bool, pressed);
    QFETCH(int, expected);

    Window window;
    window.button->setText(QString());
    QVERIFY(window.button->LoadFaceStrip(PlainStrip(m_Dir, faces), faces, 6, 6, 6, 6));
    QVERIFY(window.Show());
    if (hovered)
        Enter(window.button);
    if (pressed)
        QTest::mousePress(window.button, Qt::LeftButton);
    window.button->setEnabled(enabled);

    QCOMPARE(window.button->ChosenFace(), expected);
    QCOMPARE(window.button->grab().toImage().pixelColor(10, 10), kFaceColors[expected]);
    if (pressed)
        QTest::mouseRelease(window.button, Qt::LeftButton);
}

void TestImageButton::leaveClearsHoverAndDisabledStaysDark()
{
    Window window;
    window.button->LoadFaceStrip(QStringLiteral(":/img/button.png"), 4, 6, 6, 6, 6);
    QVERIFY(window.Show());
    Enter(window.button);
    QCOMPARE(window.button->ChosenFace(), 3);
    window.button->setEnabled(false);
    QCOMPARE(window.button->ChosenFace(), 3);
    Leave(window.button);
    QCOMPARE(window.button->ChosenFace(), 2);
    // Coming back over the disabled button does not light it up.
    Enter(window.button);
    QCOMPARE(window.button->ChosenFace(), 2);
}

void TestImageButton::buttonWithoutFacesPaintsNothing()
{
    Window window;
    window.top.setAutoFillBackground(true);
    QPalette palette = window.top.palette();
    palette.setColor(QPalette::Window, Qt::magenta);
    window.top.setPalette(palette);
    QVERIFY(window.Show());
    const QImage shot = window.top.grab(window.button->geometry()).toImage();
    for (const QPoint& point : {QPoint(1, 1), QPoint(45, 15), QPoint(88, 28)})
        QCOMPARE(shot.pixelColor(point), QColor(Qt::magenta));
}

void TestImageButton::cornersStayUnscaled_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("the strip's own size") << QSize(30, 20);
    QTest::newRow("wider and taller") << QSize(77, 23);
    QTest::newRow("main window button") << QSize(69, 33);
    QTest::newRow("narrower and lower") << QSize(16, 14);
}

void TestImageButton::cornersStayUnscaled()
{
    QFETCH(QSize, size);
    const int faces = 3;
    const QImage strip = PatternStrip(faces, 30, 20);
    const QString path = m_Dir.filePath(QStringLiteral("pattern.png"));
    QVERIFY(strip.save(path));

    CImageButton button;
    button.resize(size);
    QVERIFY(button.LoadFaceStrip(path, faces, kMargin, kMargin, kMargin, kMargin));
    const int w = size.width();
    const int h = size.height();
    for (int i = 0; i < faces; ++i) {
        const QImage face = button.Face(i);
        QCOMPARE(face.size(), size);
        const int s = 30 * i;
        for (int y = 0; y < kMargin; ++y) {
            for (int x = 0; x < kMargin; ++x) {
                QCOMPARE(face.pixel(x, y), strip.pixel(s + x, y));
                QCOMPARE(face.pixel(w - kMargin + x, y), strip.pixel(s + 30 - kMargin + x, y));
                QCOMPARE(face.pixel(x, h - kMargin + y), strip.pixel(s + x, 20 - kMargin + y));
                QCOMPARE(face.pixel(w - kMargin + x, h - kMargin + y),
                         strip.pixel(s + 30 - kMargin + x, 20 - kMargin + y));
            }
            // Edges stretch along themselves only: their rows and columns keep their colours.
            QCOMPARE(face.pixel(w / 2, y), strip.pixel(s + 15, y));
            QCOMPARE(face.pixel(w / 2, h - kMargin + y), strip.pixel(s + 15, 20 - kMargin + y));
            QCOMPARE(face.pixel(y, h / 2), strip.pixel(s + y, 10));
            QCOMPARE(face.pixel(w - kMargin + y, h / 2), strip.pixel(s + 30 - kMargin + y, 10));
        }
    }
}

void TestImageButton::setOptionsReplacesMaskedBits()
{
    CImageButton button;
    QCOMPARE(button.SetOptions(0x5, 0), 0u);
    QCOMPARE(button.SetOptions(0x2, 0x3), 0x5u);
    QCOMPARE(button.SetOptions(0, 0), 0x6u);
}

void TestImageButton::magentaShowsTheParent()
{
    // Red faces with a magenta centre, the part that stretches both ways.
    QImage strip(40, 16, QImage::Format_RGB32);
    strip.fill(Qt::red);
    QPainter(&strip).fillRect(kMargin, kMargin, 20 - 2 * kMargin, 16 - 2 * kMargin, Qt::magenta);
    QPainter(&strip).fillRect(20 + kMargin, kMargin, 20 - 2 * kMargin, 16 - 2 * kMargin, Qt::magenta);
    const QString path = m_Dir.filePath(QStringLiteral("magenta.png"));
    QVERIFY(strip.save(path));

    Window window;
    window.top.setAutoFillBackground(true);
    QPalette palette = window.top.palette();
    palette.setColor(QPalette::Window, Qt::green);
    window.top.setPalette(palette);
    window.button->setText(QString());
    QVERIFY(window.button->LoadFaceStrip(path, 2, kMargin, kMargin, kMargin, kMargin));
    QVERIFY(window.Show());
    const QImage shot = window.top.grab(window.button->geometry()).toImage();
    QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(45, 15), QColor(Qt::green));
    QTest::mousePress(window.button, Qt::LeftButton);
    QCOMPARE(window.top.grab(window.button->geometry()).toImage().pixelColor(45, 15), QColor(Qt::green));
    QTest::mouseRelease(window.button, Qt::LeftButton);
}

void TestImageButton::labelKeepsItsPlace_data()
{
    QTest::addColumn<int>("alignment");
    QTest::newRow("centred") << int(Qt::AlignCenter);
    QTest::newRow("left") << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("right") << int(Qt::AlignRight | Qt::AlignVCenter);
    QTest::newRow("top") << int(Qt::AlignHCenter | Qt::AlignTop);
    QTest::newRow("bottom right") << int(Qt::AlignRight | Qt::AlignBottom);
}

void TestImageButton::labelKeepsItsPlace()
{
    QFETCH(int, alignment);
    const Qt::Alignment where(alignment);
    QImage strip(20, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    const QString path = m_Dir.filePath(QStringLiteral("white.png"));
    QVERIFY(strip.save(path));

    CImageButton button;
    button.resize(160, 60);
    button.setText(QStringLiteral("HH"));
    QVERIFY(button.LoadFaceStrip(path, 1, kMargin, kMargin, kMargin, kMargin));
    button.SetLabelColor(Qt::black);
    button.SetLabelAlignment(where);
    const QImage shot = button.grab().toImage();
    QRect ink;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (qGray(shot.pixel(x, y)) < 100)
                ink |= QRect(x, y, 1, 1);
    QVERIFY(!ink.isEmpty());

    // The text's box, 4 pixels from each edge it is put at, or centred.
    const QSize text = QFontMetrics(button.font()).size(Qt::TextShowMnemonic, button.text());
    int x = (160 - text.width()) / 2;
    if (where & Qt::AlignLeft)
        x = 4;
    if (where & Qt::AlignRight)
        x = 160 - 4 - text.width();
    int y = (60 - text.height()) / 2;
    if (where & Qt::AlignTop)
        y = 4;
    if (where & Qt::AlignBottom)
        y = 60 - 4 - text.height();
    const QRect box(QPoint(x, y), text);
    QVERIFY2(box.adjusted(-1, -1, 1, 1).contains(ink), qPrintable(QStringLiteral("ink %1,%2 %3x%4 outside %5,%6 %7x%8")
             .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())
             .arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
}

QTEST_MAIN(TestImageButton)
#include "tst_image_button.moc"
