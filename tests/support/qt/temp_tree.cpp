#include "temp_tree.h"

#include <QFile>

QByteArray CTempTree::Root() const
{
    return QFile::encodeName(m_Root.path());
}

QByteArray CTempTree::LocalPath(const QByteArray& name) const
{
    return QFile::encodeName(m_Root.filePath(QFile::decodeName(name)));
}

bool CTempTree::WriteFile(const QByteArray& name, const QByteArray& bytes) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray CTempTree::ReadFile(const QByteArray& name) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool CTempTree::MakeSparseFile(const QByteArray& name, qint64 length) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(length);
}
