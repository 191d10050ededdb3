#pragma once

namespace ov::step {

// Which readers a STEP file is written for. Exact keeps the long-standing
// bytes that existing consumers compare against; Interop writes what strict
// schema checkers and CAD readers accept (no empty sets, typed literals,
// units and uncertainty they expect), at the cost of different bytes.
enum class StepProfile { Exact, Interop };

}  // namespace ov::step
