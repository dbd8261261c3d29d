#include "framework/DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

int MulDivRound(int a, int b, int c)
{
    if (c == 0)
        return -1;
    long long p = static_cast<long long>(a) * b;
    long long half = (c > 0 ? c : -c) / 2;
    long long q = (p + (p >= 0 ? half : -half)) / c;   // truncation then rounds away from zero
    return static_cast<int>(q);
}

int DialogFont::X(int dlu) const { return MulDivRound(dlu, baseX, 4); }
int DialogFont::Y(int dlu) const { return MulDivRound(dlu, baseY, 8); }

QRect DialogFont::Rect(int x, int y, int cx, int cy) const
{
    // Edges are converted, not sizes, so that adjacent controls stay adjacent.
    const int left = X(x), top = Y(y);
    return QRect(left, top, X(x + cx) - left, Y(y + cy) - top);
}

namespace {

bool IsJapaneseFace(const std::string& face)
{
    static const char* const markers[] = {"ゴシック", "明朝", "Gothic", "Mincho", "Meiryo", "メイリオ"};
    for (const char* m : markers)
        if (face.find(m) != std::string::npos)
            return true;
    return false;
}

QString FirstInstalled(std::initializer_list<const char*> families)
{
    const QStringList installed = QFontDatabase::families();
    for (const char* f : families)
        if (installed.contains(QString::fromUtf8(f), Qt::CaseInsensitive))
            return QString::fromUtf8(f);
    return QString::fromUtf8(*families.begin());
}

}  // namespace

DialogFont MakeDialogFont(const std::string& typeface, int pointSize, int weight, bool italic)
{
    DialogFont d;
    QString family = IsJapaneseFace(typeface) ? FirstInstalled({"Noto Sans CJK JP", "Noto Sans JP", "DejaVu Sans"})
                                              : FirstInstalled({"Liberation Sans", "Noto Sans", "DejaVu Sans"});
    d.font = QFont(family);
    d.font.setPixelSize(MulDivRound(pointSize > 0 ? pointSize : 8, 96, 72));
    d.font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    d.font.setItalic(italic);
    d.font.setStyleStrategy(QFont::PreferAntialias);
    QFontMetrics fm(d.font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    d.baseX = (width / 26 + 1) / 2;
    d.baseY = fm.height();
    return d;
}
