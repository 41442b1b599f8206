#pragma once
// The result texts live with the certificates now; this name stays until its last includer moves.
#include "report/run_result_text.h"
