#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLockFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

namespace
{
constexpr int kConnectMs = 1000;
constexpr int kWriteMs = 3000;
constexpr int kLockMs = 5000;
// A running program answers from its event loop, which a long piece of work (an atlas being read, a machine
// under load) can hold for seconds: it is waited for, not taken for dead and replaced by a second one.
constexpr int kAnswerMs = 60000;
// A message is one serialised string list; the answer one byte.
constexpr qint64 kMaxMessage = 1 << 20;
} // namespace

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::ServerName()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QString("corvane-%1").arg(getuid()));
}

QStringList SingleInstance::AbsoluteArguments(const QStringList& arguments)
{
    QStringList absolute;
    for (const QString& argument : arguments)
    {
        if (argument.contains("://") || argument.startsWith("corv:", Qt::CaseInsensitive))
            absolute << argument;
        else
            absolute << QFileInfo(argument).absoluteFilePath();
    }
    return absolute;
}

bool SingleInstance::SendToRunning(const QStringList& arguments)
{
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(kConnectMs))
        return false;
    QByteArray message;
    {
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream << AbsoluteArguments(arguments);
    }
    QByteArray framed;
    {
        QDataStream stream(&framed, QIODevice::WriteOnly);
        stream << static_cast<quint32>(message.size());
    }
    framed.append(message);
    socket.write(framed);
    if (!socket.waitForBytesWritten(kWriteMs))
        return false;
    // The answer says the running program took the request.
    return socket.waitForReadyRead(kAnswerMs) && socket.read(1) == "1";
}

bool SingleInstance::SomeoneListens()
{
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    return socket.waitForConnected(kConnectMs);
}

bool SingleInstance::Listen()
{
    // With access options Qt listens by renaming a new socket over the name, which would take the socket of a
    // program that answers from under it. A launch started beside this one may have begun listening since this
    // one asked: the look and the listen are made under a lock, and only a socket that takes no connection
    // (a dead program's) is replaced.
    QLockFile lock(ServerName() + ".lock");
    lock.tryLock(kLockMs);
    if (SomeoneListens())
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(ServerName()))
    {
        QLocalServer::removeServer(ServerName());
        if (!m_server->listen(ServerName()))
            return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::Accept);
    return true;
}

void SingleInstance::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection())
    {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < 4)
                return;
            QDataStream header(socket->peek(4));
            quint32 size = 0;
            header >> size;
            if (size > kMaxMessage)
            {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + static_cast<qint64>(size))
                return;
            socket->read(4);
            const QByteArray message = socket->read(size);
            QDataStream stream(message);
            QStringList arguments;
            stream >> arguments;
            if (stream.status() != QDataStream::Ok)
            {
                socket->abort();
                return;
            }
            socket->write("1");
            socket->flush();
            // The launch that sent them can end before the requests run; they run outside the socket's
            // callback, which a modal question inside them would otherwise hold open.
            QTimer::singleShot(0, this, [this, arguments] { emit ArgumentsReceived(arguments); });
        });
    }
}
