#pragma once

namespace bridge {

// How a stand-in writes its answers: in one write, or head and body apart, as many small
// servers do (Python's http.server among them). With Nagle's algorithm on, the body then
// waits until the client has acknowledged the head.
enum class AnswerWrites { whole, headThenBody };

} // namespace bridge
