#include "sortappkit/view_models/move_key.h"

namespace sortappkit {

MoveKey::MoveKey(const rozuzed::FileURL& sourceURL) : value(rozuzed::pathKey(sourceURL)) {}

}  // namespace sortappkit
