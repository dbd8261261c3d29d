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

struct FaceChoice {
    const char* family;
    int pixelsAt8Points;   // the em size that stands in for an 8-point Windows face
};

// The first installed family of the list, with its size for the template's point size.
QFont FirstInstalled(std::initializer_list<FaceChoice> choices, int pointSize)
{
    const QStringList installed = QFontDatabase::families();
    FaceChoice chosen = *choices.begin();
    for (const FaceChoice& c : choices)
        if (installed.contains(QString::fromUtf8(c.family), Qt::CaseInsensitive)) {
            chosen = c;
            break;
        }
    QFont font(QString::fromUtf8(chosen.family));
    font.setPixelSize(MulDivRound(pointSize, chosen.pixelsAt8Points, 8));
    return font;
}

}  // namespace

DialogFont MakeDialogFont(const std::string& typeface, int pointSize, int weight, bool italic)
{
    DialogFont d;
    // The Windows sans faces are narrow for their average character width; Liberation
    // Sans (or DejaVu Sans Condensed) one pixel larger than 8 points at 96 dpi lets every
    // English text of the program fit its box. The Gothic faces map at 96 dpi.
    if (pointSize <= 0)
        pointSize = 8;
    d.font = IsJapaneseFace(typeface)
                 ? FirstInstalled({{"Noto Sans CJK JP", 11}, {"Noto Sans JP", 11}, {"DejaVu Sans", 11}}, pointSize)
                 : FirstInstalled({{"Liberation Sans", 12}, {"DejaVu Sans Condensed", 12}, {"DejaVu Sans", 11}}, pointSize);
    d.font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    d.font.setItalic(italic);
    d.font.setStyleStrategy(QFont::PreferAntialias);
    QFontMetrics fm(d.font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    d.baseX = (width / 26 + 1) / 2;
    d.baseY = fm.height();
    return d;
}
