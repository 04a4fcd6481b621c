#include "ui/dialog_font.h"

#include <QStringList>

namespace {

const QString kDialogFace = QStringLiteral("新細明體");
const QString kWindowsFace = QStringLiteral("PMingLiU");
const QString kFallbackFace = QStringLiteral("AR PL UMing TW");
constexpr int kPointSize = 9;

// Without the substitution Qt resolves the Chinese face name to a sans face
// whose glyphs are wider, and every dialog would overflow its controls.
bool InstallSubstitutions()
{
    QFont::insertSubstitutions(kDialogFace, {kWindowsFace, kFallbackFace});
    QFont::insertSubstitution(kWindowsFace, kFallbackFace);
    return true;
}

} // namespace

QFont CDialogFont::Font()
{
    static const bool installed = InstallSubstitutions();
    Q_UNUSED(installed);
    return QFont(kDialogFace, kPointSize);
}
