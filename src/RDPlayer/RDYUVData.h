#pragma once

#include "RDMediaData.h"

// Base of the pictures in a YUV layout.
class RDYUVData : public RDMediaData
{
};
