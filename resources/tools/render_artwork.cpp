// Renders the program's pictures from their SVG sources at build time.
//   render_artwork png <source.svg> <out.png> <width> <height> [16colors]
//   render_artwork ico <source.svg> <out.ico> <size>...
// An icon file holds one image per size: 32-bit bitmaps with an AND mask for
// the small sizes, PNG for 256 (as Windows Vista and later write them).

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <array>
#include <cstdio>
#include <vector>

namespace {

QImage render(QSvgRenderer &svg, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    return image;
}

// The sixteen colours of the classic 4-bit icon palette; transparency stays
// as a mask, as in a 16-colour icon.
QImage toSixteenColours(const QImage &source)
{
    static constexpr std::array<QRgb, 16> palette = {
        0xFF000000,
        0xFF800000,
        0xFF008000,
        0xFF808000,
        0xFF000080,
        0xFF800080,
        0xFF008080,
        0xFFC0C0C0,
        0xFF808080,
        0xFFFF0000,
        0xFF00FF00,
        0xFFFFFF00,
        0xFF0000FF,
        0xFFFF00FF,
        0xFF00FFFF,
        0xFFFFFFFF,
    };
    QImage out = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(line[x]) < 128) {
                line[x] = 0;
                continue;
            }
            QRgb best = palette[0];
            long bestDistance = -1;
            for (QRgb candidate : palette) {
                long dr = qRed(line[x]) - qRed(candidate);
                long dg = qGreen(line[x]) - qGreen(candidate);
                long db = qBlue(line[x]) - qBlue(candidate);
                long distance = dr * dr + dg * dg + db * db;
                if (bestDistance < 0 || distance < bestDistance) {
                    bestDistance = distance;
                    best = candidate;
                }
            }
            line[x] = best;
        }
    }
    return out;
}

void append16(QByteArray &out, quint16 value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), 2);
}

void append32(QByteArray &out, quint32 value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), 4);
}

// BITMAPINFOHEADER with doubled height, bottom-up BGRA rows, then the AND
// mask (1 = transparent), each mask row padded to 32 bits.
QByteArray dibEntry(const QImage &image)
{
    const int size = image.width();
    QByteArray out;
    append32(out, 40);
    append32(out, static_cast<quint32>(size));
    append32(out, static_cast<quint32>(size * 2));
    append16(out, 1);
    append16(out, 32);
    append32(out, 0);
    append32(out, 0);
    append32(out, 0);
    append32(out, 0);
    append32(out, 0);
    append32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            out.append(static_cast<char>(qBlue(line[x])));
            out.append(static_cast<char>(qGreen(line[x])));
            out.append(static_cast<char>(qRed(line[x])));
            out.append(static_cast<char>(qAlpha(line[x])));
        }
    }
    const int maskStride = ((size + 31) / 32) * 4;
    for (int y = size - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(line[x]) == 0) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
    return out;
}

QByteArray pngEntry(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

bool writeIco(QSvgRenderer &svg, const QString &path, const std::vector<int> &sizes)
{
    std::vector<QByteArray> entries;
    for (int size : sizes) {
        QImage image = render(svg, size, size);
        entries.push_back(size >= 256 ? pngEntry(image) : dibEntry(image));
    }
    QByteArray out;
    append16(out, 0);
    append16(out, 1);
    append16(out, static_cast<quint16>(sizes.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int size = sizes[i];
        out.append(static_cast<char>(size >= 256 ? 0 : size));
        out.append(static_cast<char>(size >= 256 ? 0 : size));
        out.append('\0');
        out.append('\0');
        append16(out, 1);
        append16(out, 32);
        append32(out, static_cast<quint32>(entries[i].size()));
        append32(out, offset);
        offset += static_cast<quint32>(entries[i].size());
    }
    for (const QByteArray &entry : entries) {
        out.append(entry);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

} // namespace

int main(int argc, char **argv)
{
    // Text in the pictures needs the font system, which needs a GUI
    // application; no display is involved.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: render_artwork png|ico <svg> <out> <sizes...>\n");
        return 2;
    }
    QSvgRenderer svg(args[2]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "render_artwork: cannot read %s\n", qPrintable(args[2]));
        return 1;
    }
    bool ok = false;
    if (args[1] == QLatin1String("png") && args.size() >= 6) {
        QImage image = render(svg, args[4].toInt(), args[5].toInt());
        if (args.size() > 6 && args[6] == QLatin1String("16colors")) {
            image = toSixteenColours(image);
        }
        ok = image.save(args[3], "PNG");
    } else if (args[1] == QLatin1String("ico")) {
        std::vector<int> sizes;
        for (int i = 4; i < args.size(); ++i) {
            sizes.push_back(args[i].toInt());
        }
        ok = writeIco(svg, args[3], sizes);
    }
    if (!ok) {
        std::fprintf(stderr, "render_artwork: cannot write %s\n", qPrintable(args[3]));
        return 1;
    }
    return 0;
}
