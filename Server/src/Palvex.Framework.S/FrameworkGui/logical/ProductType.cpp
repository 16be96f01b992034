#include "ProductType.h"

namespace serverframework {

namespace {

bool is(int productType, ProductType type)
{
    return productType == static_cast<int>(type);
}

} // namespace

bool usesIdentity(int productType)
{
    return is(productType, ProductType::Suite) || choosesHttpOnly(productType);
}

bool choosesHttpOnly(int productType)
{
    return is(productType, ProductType::VideoSurveillance) || is(productType, ProductType::VideoSurveillance4);
}

bool hasFixedDeviceAccess(int productType)
{
    return is(productType, ProductType::Brevant);
}

bool servesVideo(int productType)
{
    return is(productType, ProductType::Suite);
}

std::string productName(int versionType, int productType)
{
    const std::string brand = versionType == 1 ? "Orbelle" : "Palvex";
    if (is(productType, ProductType::AccessControl))
        return brand + " AC";
    if (choosesHttpOnly(productType))
        return brand + " VS";
    if (is(productType, ProductType::Brevant) || is(productType, ProductType::Brevant10))
        return brand + " Brevant";
    return brand;
}

} // namespace serverframework
