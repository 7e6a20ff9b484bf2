// The three standard streams, made safe to use before anything else runs.
#pragma once

namespace veldrix {

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null (standard input for reading,
// the others for writing). Otherwise the first file the program opens would take the lowest free
// descriptor and receive the dialogue, the reports and the interrupt lines.
void OPEN_STANDARD_STREAMS();

}  // namespace veldrix
