#pragma once

#include <functional>
#include <vector>

#include <QDialog>
#include <QString>
#include <QUrl>

class QCheckBox;
class QLineEdit;

// Edits copies of the root directory, the five rights and the automatic
// start. The opener fills the public fields, runs the dialog modally and
// reads them back only when it ends with OK: the fields change on OK alone,
// so a cancelled run leaves them exactly as given. Nothing is validated; the
// root directory is taken exactly as typed. Main thread only.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Returns the chosen place, or an empty URL when the user cancelled. A
    // desktop's chooser can hand back places that are no local folder (a
    // remote share, say), so the answer is a URL, not a path.
    using FolderChooser = std::function<QUrl(QWidget* owner, const QString& title)>;

    explicit CSettingsDlg(QWidget* parent = nullptr);

    // Tests replace the desktop's folder dialog with their own choice.
    void SetFolderChooser(FolderChooser chooser);

    QString HomeDirectory;
    int AllowCreateDir = 0;
    int AllowDelete = 0;
    int AllowDownload = 0;
    int AllowRename = 0;
    int AllowUpload = 0;
    int AutoStart = 0;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A right and the box that edits it, in the order the values are exchanged.
    struct FlagBinding {
        int CSettingsDlg::*field;
        QCheckBox* box;
    };

    void FieldsToControls();
    void ControlsToFields();
    void OnBrowse();
    void ShowBrowseFailure();

    QLineEdit* m_pHomeDirectory;
    std::vector<FlagBinding> m_Flags;
    FolderChooser m_Chooser;
};
