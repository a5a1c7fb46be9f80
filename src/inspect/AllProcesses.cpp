#include "inspect/AllProcesses.h"

bool ListAllProcesses(const THandleTableView&, uint16_t, long&) { return true; }
