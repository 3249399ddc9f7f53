#include "engine/EnvelopeFollower.h"

namespace tarvo {

void EnvelopeFollower::applyDesign(const EnvelopeDesign& design) noexcept {
    attackCoefficient = design.attackCoefficient;
    releaseCoefficient = design.releaseCoefficient;
    outputFilter.setCoefficients(design.outputFilter);
    softWidth = design.softWidth;
    for (int k = 0; k < 8; ++k) softCurve[k] = design.softCurve[k];
}

void EnvelopeFollower::reset(double rest) noexcept {
    inputFilter.reset();
    envelope = rest;
    outputFilter.x1 = outputFilter.x2 = outputFilter.y1 = outputFilter.y2 = rest;
}

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
