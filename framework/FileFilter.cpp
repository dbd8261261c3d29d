#include "framework/FileFilter.h"

QStringList QtNameFilters(const std::string& windowsFilter)
{
    // Pairs of description and pattern list; the patterns are separated by ';'.
    const QStringList parts = QString::fromUtf8(windowsFilter.c_str()).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString description = parts[i];
        // Qt shows the patterns itself from the parentheses: keep the description's own.
        if (description.contains(QLatin1Char('(')))
            filters << description.left(description.indexOf(QLatin1Char('('))).trimmed() + QStringLiteral(" (") + patterns + QLatin1Char(')');
        else
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

std::string WithDefaultExtension(const std::string& path, const std::string& defExt)
{
    if (defExt.empty() || path.empty())
        return path;
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos)
        return path;
    return path + (defExt[0] == '.' ? defExt : "." + defExt);
}
