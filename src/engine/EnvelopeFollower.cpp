#include "engine/EnvelopeFollower.h"

namespace tarvo {

EnvelopeFollower makeLevelDetector() {
    EnvelopeFollower f;
    f.inputFilter = designLowPass(0.125);
    f.applyDesign(designEnvelope(false, 0.005668934240362812, 0.0005668934240362812, 0.125));
    f.reset(0.0);
    return f;
}

EnvelopeFollower makeGainSmoother() {
    EnvelopeFollower f;
    f.inputFilter = designLowPass(0.125);
    f.applyDesign(designEnvelope(false, 1.0 / (0.01 * 176400.0), 1.0 / (0.05 * 176400.0), 0.125));
    f.reset(1.0);
    return f;
}

}  // namespace tarvo
