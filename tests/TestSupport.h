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
        const QString full = Dir.filePath(QString::fromStdString(path));
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        file.open(QIODevice::WriteOnly);
        file.write(text.data(), qint64(text.size()));
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
