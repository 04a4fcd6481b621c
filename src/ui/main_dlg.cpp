#include "ui/main_dlg.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include "server/server_settings.h"
#include "ui/about_dlg.h"
#include "ui/dialog_font.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"
#include "ui/image_button.h"
#include "ui/local_address_dlg.h"
#include "ui/log_model.h"
#include "ui/log_view.h"
#include "ui/settings_dlg.h"
#include "ui/settings_store.h"

namespace {

// The window's arrangement in dialog units of its font.
constexpr int kDialogWidth = 231;
constexpr int kDialogHeight = 264;
constexpr int kButtonWidth = 46;
constexpr int kButtonHeight = 20;
constexpr int kLogLeft = 1;
constexpr int kLogTop = 21;
// Pixels kept free below the log for the status bar.
constexpr int kStatusRoom = 25;

const QString kFaceStrip = QStringLiteral(":/img/button.png");
constexpr int kFaceCount = 4;
constexpr int kFaceMargin = 6;
const QString kLogPicture = QStringLiteral(":/img/logback.png");
const QString kIcon = QStringLiteral(":/img/icon.png");

} // namespace

CMainDlg::CMainDlg(QWidget* parent, quint16 nPort, const char* address)
    : QDialog(parent),
      m_pSettings(std::make_shared<CServerSettings>())
{
    m_pSettings->SetValues(CSettingsStore::Load());
    m_pControl = std::make_unique<CServerControl>(this, m_pSettings, nPort, address);
    // A window of its own with a taskbar button, iconify and close boxes, and
    // no maximise box: the arrangement is fixed.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    SetCaption(CTextTable::Big5(Text::CaptionInitial));
    setWindowIcon(QIcon(kIcon));
    setFont(CDialogFont::Font());
    CreateControls();
    CreateStatusBar();
    LayoutControls();
}

CMainDlg::~CMainDlg() = default;

CImageButton* CMainDlg::AddButton(Text label, int x)
{
    auto* button = new CImageButton(this);
    button->setText(CDisplayText::Of(label));
    button->setGeometry(CDialogUnits(font()).Rect(x, 0, kButtonWidth, kButtonHeight));
    button->LoadFaceStrip(kFaceStrip, kFaceCount, kFaceMargin, kFaceMargin, kFaceMargin, kFaceMargin);
    button->SetLabelColor(Qt::black);
    button->SetOptions(CImageButton::kOptionHoverTracking, 0);
    return button;
}

void CMainDlg::CreateControls()
{
    m_btnStart = AddButton(Text::ButtonStart, 0);
    m_btnStop = AddButton(Text::ButtonStop, kButtonWidth);
    m_btnSettings = AddButton(Text::ButtonSettings, 2 * kButtonWidth);
    m_btnAddress = AddButton(Text::ButtonAddress, 3 * kButtonWidth);
    m_btnAbout = AddButton(Text::ButtonAbout, 4 * kButtonWidth);
    m_btnStop->setEnabled(false);
    connect(m_btnStart, &QAbstractButton::clicked, this, &CMainDlg::StartServer);
    connect(m_btnStop, &QAbstractButton::clicked, this, &CMainDlg::StopServer);
    connect(m_btnSettings, &QAbstractButton::clicked, this, &CMainDlg::OnSettings);
    connect(m_btnAddress, &QAbstractButton::clicked, this, &CMainDlg::OnAddress);
    connect(m_btnAbout, &QAbstractButton::clicked, this, &CMainDlg::OnAbout);

    m_pLogModel = new CLogModel(this);
    m_pLogList = new CLogView(this);
    m_pLogList->setModel(m_pLogModel);
    // A picture that cannot be loaded leaves the list without one.
    m_pLogList->SetBackgroundPicture(QPixmap(kLogPicture));
}

void CMainDlg::CreateStatusBar()
{
    m_pStatusBar = new QStatusBar(this);
    m_pStatusBar->setSizeGripEnabled(false);
    m_pStatusPane = new QLabel(CDisplayText::Of(Text::StatusOffline), m_pStatusBar);
    m_pStatusBar->addWidget(m_pStatusPane, 1);
    // The right pane is as wide as the text it was made for and stays empty.
    m_pTimePane = new QLabel(m_pStatusBar);
    m_pTimePane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pTimePane->setFixedWidth(m_pTimePane->fontMetrics().horizontalAdvance(CDisplayText::Of(Text::PaneTime))
                               + 2 * m_pTimePane->frameWidth() + 4);
    m_pStatusBar->addPermanentWidget(m_pTimePane);
    m_pStatusPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

// Buttons on top, the log filling the rest, the status bar below it; the
// window grows by the bar's height so that the controls keep their places.
void CMainDlg::LayoutControls()
{
    const CDialogUnits units(font());
    const QSize dialog = units.Size(kDialogWidth, kDialogHeight);
    const int barHeight = std::min(m_pStatusBar->sizeHint().height(), kStatusRoom);
    const QSize client(dialog.width(), dialog.height() + barHeight);
    const int left = units.X(kLogLeft);
    const int top = units.Y(kLogTop);
    m_pLogList->setGeometry(left, top, client.width() - 2 * left, client.height() - kStatusRoom - top);
    m_pStatusBar->setGeometry(0, client.height() - barHeight, client.width(), barHeight);
    setFixedSize(client);
    m_pLogList->AutoSizeColumns();
}

void CMainDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bInitialized)
        OnInitDialog();
}

void CMainDlg::OnInitDialog()
{
    m_bInitialized = true;
    m_pLogList->AutoSizeColumns();
    // Posted, so that the server starts once the window is up and the start
    // row is the first row of the log.
    if (m_pSettings->Values().AutoStart != 0)
        QMetaObject::invokeMethod(this, &CMainDlg::StartServer, Qt::QueuedConnection);
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    OnClose();
    event->accept();
}

void CMainDlg::OnClose()
{
    StopServer();
    CSettingsStore::Save(m_pSettings->Values());
    QDialog::done(QDialog::Rejected);
}

int CMainDlg::DoModal()
{
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    loop.exec(QEventLoop::DialogExec);
    return result();
}

void CMainDlg::EndRun()
{
    EndOpenDialogs();
    QDialog::done(QDialog::Rejected);
}

// A dialog still open (Settings, its folder chooser, an about box) runs its
// own loop inside this run's; ending the run must end those loops too, or
// the program would go on waiting in them with the window gone. Each ends
// as Cancel does, so nothing it holds is taken over. Every dialog is told,
// shown or not: a chooser of the desktop's own may run with its widget
// hidden, and ending one that is not running merely hides it.
void CMainDlg::EndOpenDialogs()
{
    QList<QPointer<QDialog>> open;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog != this)
            open << dialog;
    }
    for (const QPointer<QDialog>& dialog : open)
        if (dialog)
            dialog->done(QDialog::Rejected);
}

void CMainDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Hidden a moment later, once the window manager has finished iconifying.
    if (event->type() == QEvent::WindowStateChange && m_bHideOnIconify && isMinimized())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void CMainDlg::OnSettings()
{
    CSettingsDlg dialog(m_pSettings->Values(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_pSettings->SetValues(dialog.Values());
}

void CMainDlg::OnAddress()
{
    CLocalAddressDlg dialog(this);
    dialog.exec();
}

void CMainDlg::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

QString CMainDlg::StatusText() const
{
    return m_pStatusPane->text();
}

QString CMainDlg::TimePaneText() const
{
    return m_pTimePane->text();
}

void CMainDlg::SetCaption(const std::string& caption)
{
    // The taskbar button shows the caption too, as the title bar does.
    const QString text = CDisplayText::FromBig5(caption);
    setWindowTitle(text);
    setWindowIconText(text);
}

void CMainDlg::SetStatusText(const std::string& status)
{
    m_pStatusPane->setText(CDisplayText::FromBig5(status));
}

void CMainDlg::SetServerRunning(bool bRunning)
{
    m_btnStart->setEnabled(!bRunning);
    m_btnStop->setEnabled(bRunning);
}

void CMainDlg::AddLogRow(uint32_t threadId, const std::string& message)
{
    m_pLogModel->Append(threadId, message);
}
