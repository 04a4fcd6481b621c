#include "ui/system_tray.h"

#include <QMenu>
#include <QWidget>

#include "platform/text_table.h"
#include "ui/dialog_font.h"
#include "ui/display_text.h"

CSystemTray::CSystemTray(QObject* parent)
    : QObject(parent)
    , m_pMenu(std::make_unique<QMenu>())
    , m_pIcon(std::make_unique<QSystemTrayIcon>())
{
    m_pMenu->setFont(CDialogFont::Font());
    m_pMenu->addAction(CDisplayText::Of(Text::TrayAbout), this, &CSystemTray::About);
    m_pMenu->addSeparator();
    m_pMenu->addAction(CDisplayText::Of(Text::TrayOpen), this, [this] {
        ShowMainWindow();
        emit OpenWindow();
    });
    m_pMenu->addSeparator();
    m_pMenu->addAction(CDisplayText::Of(Text::TrayExit), this, &CSystemTray::Exit);

    m_pIcon->setContextMenu(m_pMenu.get());
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this, &CSystemTray::OnIconEvent);
}

// The icon goes before its menu, which it still points at.
CSystemTray::~CSystemTray()
{
    m_pIcon.reset();
}

bool CSystemTray::CreateTrayIcon(const QString& tip, const QIcon& icon)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    m_pIcon->setToolTip(tip);
    m_pIcon->setIcon(icon);
    m_pIcon->show();
    return true;
}

void CSystemTray::SetMainWindow(QWidget* window)
{
    m_pMainWindow = window;
}

void CSystemTray::OnIconEvent(QSystemTrayIcon::ActivationReason reason)
{
    // Single clicks do nothing; the menu opens by itself on the context click.
    if (reason == QSystemTrayIcon::DoubleClick)
        ShowMainWindow();
}

void CSystemTray::ShowMainWindow()
{
    if (!m_pMainWindow)
        return;
    // Shown in its former place and size, never un-iconified into a new one.
    m_pMainWindow->showNormal();
    m_pMainWindow->raise();
    m_pMainWindow->activateWindow();
}
