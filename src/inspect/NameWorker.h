// What the name worker keeps between passes, as the table reader sees it.
#pragma once

#include "inspect/File2Name.h"

// Forgets the handles whose query hung that Table no longer holds: their
// owner has closed them or ended, and the value may name another object now.
void KeepHungHandlesOf(const THandleTableView& Table);
