// indiserver starts this program; libindidriver's main() serves the one device created here.
#include <memory>

#include "indi/qlm_ccd.h"

static std::unique_ptr<qlm::indi::QlmCcd> qlm_ccd(new qlm::indi::QlmCcd());
