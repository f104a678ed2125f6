// Placeholder translation unit for targets whose sources all come from
// linked libraries.
namespace {
[[maybe_unused]] constexpr int kEmpty = 0;
}  // namespace
