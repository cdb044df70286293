#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;

// One running Corvane per user: the first launch listens on a local socket in the user's runtime folder,
// later launches hand their arguments to it and end. File arguments travel as absolute paths, since the
// running program has its own working folder. Main thread only.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    SingleInstance();
    ~SingleInstance() override;

    // The socket's path: "corvane-<user id>" in $XDG_RUNTIME_DIR, else in the temporary folder.
    static QString ServerName();
    // Hands the arguments to a running program; false when none answers.
    static bool SendToRunning(const QStringList& arguments);
    // Starts listening, replacing a socket left by a program that died; false when that fails or when another
    // program listens on it already.
    bool Listen();
    // URLs stay as they are; anything else is taken as a file and made absolute.
    static QStringList AbsoluteArguments(const QStringList& arguments);

signals:
    void ArgumentsReceived(const QStringList& arguments);

private:
    void Accept();
    static bool SomeoneListens();

    std::unique_ptr<QLocalServer> m_server;
};
