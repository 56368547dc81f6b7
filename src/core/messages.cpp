#include "core/messages.h"

namespace orvy {

QString applicationTitle(const QString &executableFileName)
{
    const qsizetype dot = executableFileName.indexOf(u'.');
    const QString stem = dot < 0 ? executableFileName : executableFileName.left(dot);
    if (stem.isEmpty())
        return stem;
    return stem.left(1) + stem.mid(1).toLower();
}

QString withFullStop(const QString &message)
{
    // An empty message has no last character to punctuate.
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + u'.';
}

} // namespace orvy
