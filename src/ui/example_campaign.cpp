#include "example_campaign.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tramelo {

QString findExampleFolder()
{
    for (const QString &candidate : {QCoreApplication::applicationDirPath() + QStringLiteral("/examples"),
                                     QStringLiteral(TRAMELO_SOURCE_EXAMPLES_DIR)}) {
        if (QFileInfo(candidate + u'/' + QString::fromUtf16(exampleProjectName)).isFile())
            return QDir(candidate).absolutePath();
    }
    return {};
}

} // namespace tramelo
