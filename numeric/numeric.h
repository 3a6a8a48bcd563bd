// The whole numerical library.
#pragma once

#include "numeric/types.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"
#include "numeric/complex.h"
#include "numeric/cmatrix.h"
#include "numeric/linalg.h"
#include "numeric/poly.h"
#include "numeric/integrate.h"
#include "numeric/efficiency.h"
#include "base/elliptic.h"
