#pragma once
// Everything the drawing code needs from the 2-D graphics services, in one include.

#include "Platform/Graphics/ArgbView.h"
#include "Platform/Graphics/Bitmap.h"
#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Graphics/GraphicsPath.h"
#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/Matrix.h"
#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/Region.h"
