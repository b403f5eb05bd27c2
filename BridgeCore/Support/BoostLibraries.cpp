// The one translation unit that compiles the header-only Boost libraries.
#include <boost/json/src.hpp>
#include <boost/url/src.hpp>
