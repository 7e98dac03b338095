// libFuzzer target for the PPMd coder (built by run.sh with clang; not part of the CMake tree).
// First byte: bit 0 chooses the direction, bits 4-7 the model order.
//   decode: the rest is a framed stream with its memory forced to 1 MB (fast runs); the decoder
//           must fail or stop within the expected size, never crash or hang.
//   round trip: the rest is input, coded with a 1 MB model (restarts come quickly) and decoded
//           back; any difference aborts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int order = 2 + (data[0] >> 4) % 15;
    std::vector<std::uint8_t> body(data + 1, data + size);
    if ((data[0] & 1) == 0) {
        if (body.size() >= 4) {
            body[0] = static_cast<std::uint8_t>(body[0] & 0x0F);  // memory 1 MB, order as given
            body[1] = 0x60;
            body[2] = body[3] = 0;
        }
        std::vector<std::uint8_t> out(4 * body.size() + 64);
        std::size_t outSize = 0;
        PpmdDecompress(body.data(), body.size(), out.data(), out.size(), outSize);
        if (outSize > out.size()) std::abort();
        return 0;
    }
    std::vector<std::uint8_t> packed(body.size() + body.size() / 20 + 50);
    const std::size_t n = PpmdCompress(body.data(), body.size(), packed.data(), packed.size(), order, 1);
    if (n == 0) return 0;  // incompressible beyond the capacity: refused, which is allowed
    std::vector<std::uint8_t> back(body.size());
    std::size_t outSize = 0;
    if (!PpmdDecompress(packed.data(), n, back.data(), back.size(), outSize) || outSize != body.size() || back != body)
        std::abort();
    return 0;
}
