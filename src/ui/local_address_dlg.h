#pragma once

#include <QDialog>

class CLinkLabel;
class QLineEdit;

// Shows this computer's IPv4 address for the user to pass on to clients, and
// a link to a public page that tells the address the internet sees. Built,
// run modally and destroyed by its opener on the main thread.
class CLocalAddressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLocalAddressDlg(QWidget* parent = nullptr);

    QString Address() const;
    CLinkLabel* PublicAddressLink() const { return m_pLink; }

private:
    QLineEdit* m_pAddress;
    CLinkLabel* m_pLink;
};
