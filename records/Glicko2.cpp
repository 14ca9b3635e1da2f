#include "records/Glicko2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

// The Glicko-2 scale against the familiar one.
constexpr double Scale = 173.7178;
constexpr double Centre = 1500.0;
// Convergence of the volatility's root search.
constexpr double Epsilon = 0.000001;
constexpr int32_t MaxSteps = 200;

double G(double phi) {
    return 1.0 / std::sqrt(1.0 + 3.0 * phi * phi / (std::numbers::pi * std::numbers::pi));
}

double E(double mu, double muOpponent, double phiOpponent) {
    return 1.0 / (1.0 + std::exp(-G(phiOpponent) * (mu - muOpponent)));
}

} // namespace

double TGlicko2::NewVolatility(double phi, double sigma, double delta, double v) const {
    // The root of f by the Illinois variant of regula falsi.
    const double a = std::log(sigma * sigma);
    const double tau2 = Tau * Tau;
    auto f = [&](double x) {
        const double ex = std::exp(x);
        const double d = phi * phi + v + ex;
        return ex * (delta * delta - phi * phi - v - ex) / (2.0 * d * d) - (x - a) / tau2;
    };
    double A = a, B;
    if (delta * delta > phi * phi + v) {
        B = std::log(delta * delta - phi * phi - v);
    } else {
        int32_t k = 1;
        while (f(a - k * Tau) < 0 && k < MaxSteps) ++k;
        B = a - k * Tau;
    }
    double fA = f(A), fB = f(B);
    for (int32_t step = 0; std::fabs(B - A) > Epsilon && step < MaxSteps; ++step) {
        const double C = A + (A - B) * fA / (fB - fA);
        const double fC = f(C);
        if (fC * fB <= 0) {
            A = B;
            fA = fB;
        } else {
            fA /= 2.0;
        }
        B = C;
        fB = fC;
    }
    return std::exp(A / 2.0);
}

TRating TGlicko2::Update(const TRating& player, const std::vector<TRatedResult>& results) const {
    const double mu = (player.Rating - Centre) / Scale;
    const double phi = player.Deviation / Scale;
    const double sigma = player.Volatility;
    TRating updated = player;
    if (results.empty()) {
        updated.Deviation = std::min(MaxDeviation, Scale * std::sqrt(phi * phi + sigma * sigma));
        return updated;
    }

    double inverseV = 0.0, sum = 0.0;
    for (const TRatedResult& result : results) {
        const double muJ = (result.Opponent.Rating - Centre) / Scale;
        const double phiJ = result.Opponent.Deviation / Scale;
        const double g = G(phiJ);
        const double e = E(mu, muJ, phiJ);
        inverseV += g * g * e * (1.0 - e);
        sum += g * (result.Score - e);
    }
    const double v = 1.0 / inverseV;
    const double delta = v * sum;
    const double sigmaNew = NewVolatility(phi, sigma, delta, v);
    const double phiStar = std::sqrt(phi * phi + sigmaNew * sigmaNew);
    const double phiNew = 1.0 / std::sqrt(1.0 / (phiStar * phiStar) + 1.0 / v);
    const double muNew = mu + phiNew * phiNew * sum;

    updated.Rating = Scale * muNew + Centre;
    updated.Deviation = std::min(MaxDeviation, Scale * phiNew);
    updated.Volatility = sigmaNew;
    return updated;
}

void TGlicko2::UpdateMatch(const TRating before[2], int32_t winner, TRating after[2]) const {
    for (int seat = 0; seat < 2; ++seat) {
        const double result = winner == -1 ? 0.5 : winner == seat ? 1.0 : 0.0;
        after[seat] = Update(before[seat], {{before[1 - seat], result}});
    }
}
