#include "app/QtViewerSystem.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace tw {

namespace {

// The argument as Qt passes it on (QProcess encodes arguments with the locale's
// encoding); false when the bytes would not come out the same, so that a name the
// encoding cannot carry never turns into another file's name.
bool toArgument(const std::string& bytes, QString* out)
{
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    *out = QFile::decodeName(raw);
    return QFile::encodeName(*out) == raw && !raw.contains('\0');
}

// The first line of what `program` prints for `arguments`, or "" when it cannot be run,
// fails or takes too long.
std::string queryLine(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(QtViewerSystem::kQueryTimeoutMs))
        return {};
    if (!process.waitForFinished(QtViewerSystem::kQueryTimeoutMs)) {
        process.kill();
        process.waitForFinished(QtViewerSystem::kQueryTimeoutMs);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QByteArray out = process.readAllStandardOutput();
    const qsizetype end = out.indexOf('\n');
    return out.left(end < 0 ? out.size() : end).trimmed().toStdString();
}

// "type/subtype" of letters, digits and + - . _ only: anything else xdg-mime printed is
// not passed on as an argument.
bool isMimeType(const std::string& type)
{
    const size_t slash = type.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == type.size() || type.find('/', slash + 1) != std::string::npos)
        return false;
    for (const char c : type) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain && c != '/' && c != '+' && c != '-' && c != '.' && c != '_')
            return false;
    }
    return true;
}

} // namespace

bool QtViewerSystem::start(const std::vector<std::string>& argv, const std::string& workingDir, std::string* error)
{
    if (argv.empty() || argv[0].empty()) {
        if (error)
            *error = "no program";
        return false;
    }
    QString program;
    QStringList arguments;
    for (size_t i = 0; i < argv.size(); ++i) {
        QString arg;
        if (!toArgument(argv[i], &arg)) {
            if (error)
                *error = "an argument cannot be passed in this locale's encoding";
            return false;
        }
        if (i == 0)
            program = arg;
        else
            arguments << arg;
    }
    QString directory;
    if (!workingDir.empty() && !toArgument(workingDir, &directory))
        directory.clear();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(directory);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (process.startDetached(&pid))
        return true;
    if (error)
        *error = process.errorString().toStdString();
    return false;
}

std::string QtViewerSystem::associatedProgram(const std::string& path)
{
    QString file;
    if (path.empty() || !toArgument(pathArgument(path), &file))
        return {};
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty())
        return {};
    const std::string type = queryLine(tool, {QStringLiteral("query"), QStringLiteral("filetype"), file});
    if (!isMimeType(type))
        return {};
    return queryLine(tool, {QStringLiteral("query"), QStringLiteral("default"), QString::fromStdString(type)});
}

bool QtViewerSystem::openWithDefaultAction(const std::string& path)
{
    return m_openUrl && !path.empty() && m_openUrl(path);
}

std::string QtViewerSystem::findProgram(const std::string& name)
{
    return QFile::encodeName(QStandardPaths::findExecutable(QString::fromStdString(name))).toStdString();
}

} // namespace tw
