#include "session/virtual_path.h"

#include <string>
#include <string_view>

#include <QList>

#include "platform/big5_text.h"
#include "platform/file_system.h"

namespace {

// The non-empty names of a "/"-separated path; runs of "/" count as one.
std::vector<QByteArray> SplitNames(const QByteArray& path)
{
    std::vector<QByteArray> names;
    for (const QByteArray& name : path.split('/')) {
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

// Clients cannot make or reach names that begin or end with ".": such padding
// is dropped, and a name made only of dots vanishes (".." aside).
QByteArray TrimDots(const QByteArray& name)
{
    if (name == "..")
        return name;
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && name[first] == '.')
        ++first;
    while (last > first && name[last - 1] == '.')
        --last;
    return name.mid(first, last - first);
}

QByteArray AppendName(const QByteArray& directory, const QByteArray& name)
{
    return (directory == "/" ? QByteArray() : directory) + '/' + name;
}

// "/" followed by the names, "/"-separated.
QByteArray JoinNames(const std::vector<QByteArray>& names)
{
    QByteArray path("/");
    for (const QByteArray& name : names)
        path = AppendName(path, name);
    return path;
}

bool IsAtOrBelow(const QByteArray& path, const QByteArray& root)
{
    if (root == "/")
        return path.startsWith('/');
    return path == root || (path.startsWith(root) && path.size() > root.size() && path[root.size()] == '/');
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const QByteArray& left, const QByteArray& right)
{
    if (left.size() != right.size())
        return false;
    for (qsizetype i = 0; i < left.size(); ++i) {
        if (LowerAscii(left[i]) != LowerAscii(right[i]))
            return false;
    }
    return true;
}

// The entry of the directory that matches the name ignoring ASCII case; when
// several do, always the same one (the smallest by bytes), so a client's path
// keeps naming one entry however the directory is ordered on disk.
QByteArray FindIgnoringCase(const QByteArray& directory, const QByteArray& name)
{
    std::vector<QByteArray> entries;
    CFileSystem::ListNames(directory, entries);
    QByteArray best;
    for (const QByteArray& entry : entries) {
        if (EqualIgnoringAsciiCase(entry, name) && (best.isEmpty() || entry < best))
            best = entry;
    }
    return best;
}

} // namespace

void CVirtualPath::SetHome(const QByteArray& home)
{
    m_strHomeDir.clear();
    if (home.startsWith('/') && !home.contains('\0')) {
        std::vector<QByteArray> names;
        for (const QByteArray& name : SplitNames(home)) {
            if (name != ".")
                names.push_back(name);
        }
        m_strHomeDir = ResolveNames(names);
    }
    m_strCurrentDir = m_strHomeDir;
}

bool CVirtualPath::IsHomeUsable() const
{
    return m_strHomeDir.startsWith('/');
}

QByteArray CVirtualPath::VirtualToLocal(const QByteArray& argument) const
{
    std::string utf8;
    if (!IsHomeUsable() || !CBig5Text::ToUtf8(argument, utf8) || utf8.find('\0') != std::string::npos)
        return QByteArray();
    QByteArray text(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace('\\', '/');

    std::vector<QByteArray> names = SplitNames(text.startsWith('/') ? m_strHomeDir : m_strCurrentDir);
    for (const QByteArray& typed : SplitNames(text)) {
        const QByteArray name = TrimDots(typed);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.isEmpty()) {
            names.push_back(name);
        }
    }
    return ResolveNames(names);
}

QByteArray CVirtualPath::ResolveNames(const std::vector<QByteArray>& names)
{
    // A path that exists as written has every name on it existing too: one
    // look instead of one per name, for the common case.
    const QByteArray written = JoinNames(names);
    if (CFileSystem::EntryExists(written))
        return written;
    QByteArray path("/");
    bool bResolving = true;
    for (const QByteArray& name : names) {
        QByteArray next = AppendName(path, name);
        if (bResolving && !CFileSystem::EntryExists(next)) {
            const QByteArray match = FindIgnoringCase(path, name);
            // Names below one that does not exist yet stay as typed: they are
            // what MKD or STOR is about to create.
            if (match.isEmpty())
                bResolving = false;
            else
                next = AppendName(path, match);
        }
        path = next;
    }
    return path;
}

QByteArray CVirtualPath::LocalToVirtual(const QByteArray& local) const
{
    if (!IsHomeUsable() || local == m_strHomeDir || !IsAtOrBelow(local, m_strHomeDir))
        return QByteArray("/");
    QByteArray below = m_strHomeDir == "/" ? local : local.mid(m_strHomeDir.size());
    for (char& c : below)
        c = LowerAscii(c);
    return CBig5Text::FromUtf8(std::string_view(below.constData(), static_cast<size_t>(below.size())));
}

bool CVirtualPath::PathExists(const QByteArray& local, bool bDirectory)
{
    switch (CFileSystem::Stat(local).kind) {
    case FileKind::Directory:
        return bDirectory;
    case FileKind::File:
        return !bDirectory;
    case FileKind::Missing:
        break;
    }
    return false;
}

bool CVirtualPath::IsInsideHome(const QByteArray& local) const
{
    if (!IsHomeUsable() || !local.startsWith('/') || !IsAtOrBelow(local, m_strHomeDir))
        return false;
    QByteArray realHome;
    QByteArray realLocal;
    if (CFileSystem::RealPath(m_strHomeDir, realHome) != FileError::None
        || !RealPathOfNearest(local, realLocal))
        return false;
    return IsAtOrBelow(realLocal, realHome);
}

bool CVirtualPath::RealPathOfNearest(const QByteArray& local, QByteArray& real)
{
    const std::vector<QByteArray> names = SplitNames(local);
    QByteArray existing("/");
    size_t nExisting = 0;
    if (const QByteArray whole = JoinNames(names); CFileSystem::EntryExists(whole)) {
        existing = whole;
        nExisting = names.size();
    }
    while (nExisting < names.size() && CFileSystem::EntryExists(AppendName(existing, names[nExisting]))) {
        existing = AppendName(existing, names[nExisting]);
        ++nExisting;
    }
    // A link that leads nowhere exists as an entry but has no real path: what
    // would be created through it cannot be placed, so it counts as outside.
    if (CFileSystem::RealPath(existing, real) != FileError::None)
        return false;
    for (size_t i = nExisting; i < names.size(); ++i)
        real = AppendName(real, names[i]);
    return true;
}
