#pragma once

#include "Assembly/EngineRecipe.hpp"
#include "Values/DeckReading.hpp"

#include <memory>

namespace bridge {

class HTTPTransport;

// The reader of the recipe's source, made as each source needs; readers that speak HTTP
// share `transport`.
std::shared_ptr<DeckReading> makeReader(const EngineRecipe& recipe,
                                        const std::shared_ptr<HTTPTransport>& transport);

} // namespace bridge
