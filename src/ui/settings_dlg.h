#pragma once

#include <functional>
#include <vector>

#include <QDialog>
#include <QString>
#include <QUrl>

#include "server/server_settings.h"

class QCheckBox;
class QLineEdit;

// Edits a copy of the settings: the root directory, the five rights and the
// automatic start. The opener gives the values, runs the dialog modally and
// reads Values() back: they change on OK alone, so a cancelled run returns
// them exactly as given. Nothing is validated; the root directory is taken
// exactly as typed. Main thread only.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Returns the chosen place, or an empty URL when the user cancelled. A
    // desktop's chooser can hand back places that are no local folder (a
    // remote share, say), so the answer is a URL, not a path.
    using FolderChooser = std::function<QUrl(QWidget* owner, const QString& title)>;

    explicit CSettingsDlg(const SettingsValues& values, QWidget* parent = nullptr);

    // Tests replace the desktop's folder dialog with their own choice.
    void SetFolderChooser(FolderChooser chooser);

    const SettingsValues& Values() const { return m_Values; }

public slots:
    void accept() override;

private:
    // A flag setting and the box that edits it.
    struct FlagBinding {
        int SettingsValues::*field;
        QCheckBox* box;
    };

    void ValuesToControls();
    void ControlsToValues();
    void OnBrowse();
    void ShowBrowseFailure();

    SettingsValues m_Values;
    QLineEdit* m_pHomeDirectory;
    std::vector<FlagBinding> m_Flags;
    FolderChooser m_Chooser;
};
