#include "media/parsers/reg_command.h"

#include "platform/win/registry.h"

#include <QDebug>

bool RunRegCommand(const QString& parameters, bool hidden)
{
    QString message;
    const int exitCode = RunRegVerb(parameters, &message);
    if (exitCode != 0)
        qWarning().noquote() << "reg" << parameters << "failed:" << message;
    else if (!hidden && !message.isEmpty())
        qInfo().noquote() << message;
    return exitCode == 0;
}
