#include "cards/CardInfo.h"

TCardInfo::~TCardInfo() {
    RedPicture.reset();
    BluePicture.reset();
    Name.clear();
}
