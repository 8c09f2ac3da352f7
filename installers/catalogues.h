// The catalogues this project installs, one declarative table each.
#pragma once

#include "installer.h"

namespace tq::installer
{

const Catalogue &catalogue718();
const Catalogue &cataloguePanelmatePro();
const Catalogue &cataloguePanelmate();

} // namespace tq::installer
