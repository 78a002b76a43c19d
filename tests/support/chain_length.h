// tests/support/chain_length.h: the length of a singly linked chain of the
// collections' internal blocks and free lists, for the tests that look at
// their bookkeeping.
#pragma once

namespace korvo::test {

template <class Link>
int ChainLength(const Link* head) {
  int n = 0;
  for (; head != nullptr; head = head->pNext) ++n;
  return n;
}

}  // namespace korvo::test
