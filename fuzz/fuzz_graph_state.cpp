// libFuzzer target: the graph state loader (graph files and the graph template).
#include <cstdint>
#include <cstdlib>

#include "graph/GraphState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray block =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    kl516::GraphState state;
    state.mainTitle = QStringLiteral("before");
    const kl516::GraphState before = state;
    if (!kl516::loadGraphState(block, state)) {
        // A rejected block leaves the state alone.
        if (!(state == before)) std::abort();
        return 0;
    }
    // Every accepted block is canonical: saving the loaded state gives the same bytes, and
    // those load again.
    const QByteArray again = kl516::saveGraphState(state);
    if (again != block) std::abort();
    kl516::GraphState reloaded;
    if (!kl516::loadGraphState(again, reloaded)) std::abort();
    if (kl516::saveGraphState(reloaded) != again) std::abort();
    return 0;
}
