#include "ui/toolkit_translation.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

namespace {

// Named outright rather than found from the locale: the desktop's language
// has no say in the window's.
const QString kCatalogue = QStringLiteral("qtbase_zh_TW");

} // namespace

bool CToolkitTranslation::Install()
{
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(kCatalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.release());
    return true;
}
