// The catalogues this project installs, one declarative table each.
#pragma once

#include "installer.h"

namespace tq::installer
{

const Catalogue &catalogue714();
const Catalogue &catalogue723();
const Catalogue &catalogue718();
const Catalogue &catalogue747();
const Catalogue &catalogue775();
const Catalogue &catalogue176();
const Catalogue &catalogue740();
const Catalogue &catalogue726();
const Catalogue &cataloguePanelmatePro();
const Catalogue &cataloguePanelmate();

} // namespace tq::installer
