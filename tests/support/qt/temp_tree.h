#pragma once

#include <QByteArray>
#include <QTemporaryDir>

// A fresh temporary folder that a test serves as a root, and its files by
// name; removed with everything in it when the tree ends.
class CTempTree {
public:
    QByteArray Root() const;
    QByteArray LocalPath(const QByteArray& name) const;
    bool WriteFile(const QByteArray& name, const QByteArray& bytes) const;
    QByteArray ReadFile(const QByteArray& name) const;
    // A file of that length that holds no blocks on disk (it reads as zeros).
    bool MakeSparseFile(const QByteArray& name, qint64 length) const;

private:
    QTemporaryDir m_Root;
};
