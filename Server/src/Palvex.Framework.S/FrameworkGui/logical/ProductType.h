#pragma once
// The product types of the port configuration and what each of them changes
// in the host: the start-up audit, the port dialog, the window, the identity
// step and the product name.

#include <string>

namespace serverframework {

enum class ProductType : int {
    Suite = 0,              // the whole suite: device access, video, RTSP and video wall
    AccessControl = 1,      // "AC"
    VideoSurveillance = 2,  // "VS": the HTTP port is the only one chosen
    Brevant = 3,            // device access through fixed placeholder ports
    VideoSurveillance4 = 4, // "VS", as 2
    Brevant10 = 10,         // named as 3, audited as every other product
};

// The services of these products authenticate each other.
bool usesIdentity(int productType);
// Only the HTTP port (and the video wall port) is chosen in the port dialog;
// TamsaCMS, external access and the SMS port are not offered.
bool choosesHttpOnly(int productType);
// The device-access ports are fixed placeholders (1 to 4), never tested.
bool hasFixedDeviceAccess(int productType);
// The product serves video: its preview, playback, RTSP and video wall ports.
bool servesVideo(int productType);

// "Palvex VS", "Orbelle Brevant", ...: the brand of the version type (1
// names the second) and the product line of the product type.
std::string productName(int versionType, int productType);

} // namespace serverframework
