#pragma once

#include <memory>

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;
class QWidget;

// The program's icon in the notification area, with its menu. It knows
// nothing of the server: it brings the main window back on a double-click or
// "open window", and hands the menu's commands to whoever connects to its
// signals. Lives on the main thread for the whole run of the program.
class CSystemTray : public QObject {
    Q_OBJECT
public:
    explicit CSystemTray(QObject* parent = nullptr);
    ~CSystemTray() override;

    // Shows the icon with its tip; false when the desktop has no notification area.
    bool CreateTrayIcon(const QString& tip, const QIcon& icon);
    // The window that a double-click or "open window" brings back; may come later.
    void SetMainWindow(QWidget* window);

    QMenu* Menu() const { return m_pMenu.get(); }
    QSystemTrayIcon* Icon() const { return m_pIcon.get(); }

    void OnIconEvent(QSystemTrayIcon::ActivationReason reason);

signals:
    void About();
    // "Open window" was chosen; the main window has already been shown and
    // brought to the front when this is emitted.
    void OpenWindow();
    void Exit();

private:
    void ShowMainWindow();

    std::unique_ptr<QMenu> m_pMenu;
    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    QPointer<QWidget> m_pMainWindow;
};
