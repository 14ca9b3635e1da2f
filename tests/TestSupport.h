#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

// Pixel values as surfaces store them (0xffRRGGBB).
namespace TestColor {
inline constexpr uint32_t Black = 0xff000000u;
inline constexpr uint32_t Blue = 0xff0000ffu;
inline constexpr uint32_t Green = 0xff00ff00u;
inline constexpr uint32_t Red = 0xffff0000u;
inline constexpr uint32_t Magenta = 0xffff00ffu;
inline constexpr uint32_t White = 0xffffffffu;
} // namespace TestColor

// An 8-bit run-length coded bitmap of any declared size whose pixel data is
// only the end-of-picture mark: a few bytes that decode to a picture of that
// size (the pixels left unset).
inline QByteArray RunLengthBitmap(int32_t width, int32_t height) {
    QByteArray bytes;
    auto put16 = [&bytes](uint32_t v) {
        bytes.append(char(v & 0xff));
        bytes.append(char((v >> 8) & 0xff));
    };
    auto put32 = [&put16](uint32_t v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    const uint32_t offset = 14 + 40 + 256 * 4;
    bytes.append("BM");
    put32(offset + 2); // file size
    put32(0);
    put32(offset);
    put32(40); // information header
    put32(uint32_t(width));
    put32(uint32_t(height));
    put16(1);    // planes
    put16(8);    // bits per pixel
    put32(1);    // run-length coded, 8 bits
    put32(2);    // bytes of pixel data
    put32(2835); // 72 dots per inch
    put32(2835);
    put32(256); // colours used
    put32(0);
    for (uint32_t i = 0; i < 256; ++i) put32(i * 0x010101u);
    put16(0x0100); // end of picture
    return bytes;
}

// A temporary folder that is the working directory while the object lives,
// so code that reads "Data/..." reads the fixture written there.
class TScopedWorkDir {
public:
    TScopedWorkDir() : Previous(QDir::currentPath()) { QDir::setCurrent(Dir.path()); }
    ~TScopedWorkDir() { QDir::setCurrent(Previous); }
    TScopedWorkDir(const TScopedWorkDir&) = delete;
    TScopedWorkDir& operator=(const TScopedWorkDir&) = delete;

    QString Path() const { return Dir.path(); }

    // Writes a 24-bit bitmap of the given size, filled with one colour, at a
    // path relative to the folder (folders are made as needed).
    void WriteBitmap(const std::string& path, int width, int height, QColor fill) const {
        QImage image(width, height, QImage::Format_RGB888);
        image.fill(fill);
        WriteImage(path, image);
    }
    void WriteImage(const std::string& path, const QImage& image) const {
        const QString full = Dir.filePath(QString::fromStdString(path));
        QDir().mkpath(QFileInfo(full).path());
        image.convertToFormat(QImage::Format_RGB888).save(full, "BMP");
    }
    void WriteText(const std::string& path, const std::string& text) const {
        WriteBytes(path, QByteArray::fromStdString(text));
    }
    void WriteBytes(const std::string& path, const QByteArray& bytes) const {
        const QString full = Dir.filePath(QString::fromStdString(path));
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
    void Remove(const std::string& path) const { QFile::remove(Dir.filePath(QString::fromStdString(path))); }

private:
    QTemporaryDir Dir;
    QString Previous;
};

// Records what loading routines report, in order.
struct TRecorder {
    std::vector<std::string> Lines;
    auto Sink() {
        return [this](const std::string& line) { Lines.push_back(line); };
    }
};
