#include "managerseat.h"

QString CreateViewLine(const QString &name, const QString &caption, short kind)
{
    return QStringLiteral("CreateView(\"%1\", \"%2\", %3)").arg(name, caption).arg(kind);
}

QString SetViewXmlDataLine(const QString &viewName, const QString &xml)
{
    return QStringLiteral("SetViewXMLData(\"%1\"): %2 rows, %3 characters")
        .arg(viewName)
        .arg(xml.count(QLatin1String("<DataRow>")))
        .arg(xml.size());
}
