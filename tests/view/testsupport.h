// Helpers the view tests share: the committed fixtures, files written for a test and the texts
// of failures.
#pragma once

#include "measure/failure.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

inline QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(KORVALEN_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

// Writes `bytes` under `name` in `dir`, making folders on the way; a null array writes nothing.
inline QString place(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!bytes.isNull()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(bytes);
    }
    return path;
}

// The message of a JPEG failure with libjpeg's message `code`.
inline QString jpegError(int code)
{
    return QStringLiteral("JPEG error #%1").arg(code);
}

// The message of the Failure `action` throws; empty when it throws none.
template <typename Action> QString failureMessage(Action action)
{
    try {
        action();
    } catch (const measure::Failure &failure) {
        return QString::fromUtf8(failure.what());
    }
    return QString();
}
