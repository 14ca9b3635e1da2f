#pragma once

#include "render/Surface.h"
#include "rules/CardValues.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// One card of the catalogue: its two faces, name, edge ranks (0 top, 1 right,
// 2 bottom, 3 left) and element (0 none, 1 to 8).
struct TCardInfo : TCardValues {
    TCardInfo() = default;
    ~TCardInfo();
    TCardInfo(const TCardInfo&) = delete;
    TCardInfo& operator=(const TCardInfo&) = delete;

    std::unique_ptr<TSurface> RedPicture;
    std::unique_ptr<TSurface> BluePicture;
    std::string Name;
};
