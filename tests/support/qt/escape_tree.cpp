#include "escape_tree.h"

#include <algorithm>
#include <vector>

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

using Kind = EscapeEntry::Kind;

// Entries come after the folders they lie in and the ones they lead to.
const std::vector<EscapeEntry> kEntries = {
    {"folder in the home", "root/docs/sub", Kind::Folder, nullptr},
    {"file in a folder", "root/docs/a.txt", Kind::File, "abc"},
    {"mixed-case folder", "root/Photos/Trip", Kind::Folder, nullptr},
    {"mixed-case file", "root/Report.TXT", Kind::File, "abc"},
    {"names differing only in case", "root/Abc", Kind::Folder, nullptr},
    {"names differing only in case", "root/aBC", Kind::Folder, nullptr},
    {"empty folder", "root/empty", Kind::Folder, nullptr},
    {"folder that is not empty", "root/full/inner", Kind::Folder, nullptr},
    // 許, 功 and 蓋 end with the byte of a backslash in code page 950.
    {"trail byte backslash", "root/\xE8\xA8\xB1/sub", Kind::Folder, nullptr},
    {"trail byte backslashes", "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B", Kind::Folder, nullptr},
    {"file below trail byte backslashes", "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B/\xE6\xB7\xB1.txt", Kind::File,
     "deep inside"},
    {"sibling sharing the home's name", "root2/x", Kind::Folder, nullptr},
    {"file in the sibling", "root2/secret.txt", Kind::File, "secret"},
    {"folder above the home", "outside/secret", Kind::Folder, nullptr},
    {"empty folder above the home", "outside/emptydir", Kind::Folder, nullptr},
    {"file in a folder above the home", "outside/secret.txt", Kind::File, "secret"},
    {"file beside the home", "outside.txt", Kind::File, "outside"},
    {"link out to a folder", "root/escape", Kind::Link, "outside"},
    {"relative link out", "root/docs/relative-escape", Kind::Link, "../../outside"},
    {"link out to the base", "root/link", Kind::Link, ""},
    {"link out to a file", "root/linkfile", Kind::Link, "outside.txt"},
    {"dangling link", "root/dangling", Kind::Link, "nowhere"},
    {"link inside the home", "root/inlink", Kind::Link, "root/docs"},
    {"link to a trail byte folder", "root/inner", Kind::Link, "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B"},
    {"link from outside into the home", "docs-from-outside", Kind::Link, "root/docs"},
    {"link from outside to the home", "back-in", Kind::Link, "root"},
};

} // namespace

CEscapeTree::CEscapeTree()
{
    if (!m_Temporary.isValid()) {
        m_strUnmade = "the temporary base";
        return;
    }
    m_strBase = QFile::encodeName(QDir(m_Temporary.path()).canonicalPath());
    const auto made = [this](const EscapeEntry& entry) { return Make(entry); };
    const auto unmade = std::find_if_not(kEntries.begin(), kEntries.end(), made);
    if (unmade != kEntries.end())
        m_strUnmade = QByteArray(unmade->name) + ": " + unmade->path;
}

QStringList CEscapeTree::ListedIn(const QByteArray& folder)
{
    const QByteArray prefix = folder.isEmpty() ? QByteArray() : folder + '/';
    QStringList names;
    for (const EscapeEntry& entry : kEntries) {
        const QByteArray path(entry.path);
        if (!path.startsWith(prefix))
            continue;
        const QString name = QString::fromUtf8(path.mid(prefix.size()).split('/').first());
        if (!names.contains(name))
            names << name;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QByteArray CEscapeTree::OutsideFingerprint() const
{
    const QString base = QFile::decodeName(m_strBase);
    const QString home = QFile::decodeName(Home()) + '/';
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    QStringList entries;
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& entry : entries) {
        if (entry.startsWith(home))
            continue;
        hash.addData(entry.toUtf8());
        QFile file(entry);
        if (QFileInfo(entry).isFile() && file.open(QIODevice::ReadOnly))
            hash.addData(file.readAll());
    }
    return hash.result();
}

bool CEscapeTree::Make(const EscapeEntry& entry) const
{
    const QString path = QFile::decodeName(Local(entry.path));
    if (entry.kind == Kind::Folder)
        return QDir().mkpath(path);
    if (entry.kind == Kind::File) {
        QFile file(path);
        const QByteArray bytes(entry.content);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    const QByteArray target(entry.content);
    const bool bAsItIs = target.startsWith('.') || target.startsWith('/');
    const QByteArray resolved = bAsItIs ? target : target.isEmpty() ? m_strBase : Local(target);
    return ::symlink(resolved.constData(), Local(entry.path).constData()) == 0;
}
