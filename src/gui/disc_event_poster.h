#pragma once

#include "disc/disc_engine.h"

namespace quillet {

// The disc engine's event poster for a Qt program: each task runs later on the thread of the
// application object (the user-interface thread), through a queued call. Safe to call from any
// thread while the application object exists.
disc::EventPoster QtEventPoster();

}  // namespace quillet
