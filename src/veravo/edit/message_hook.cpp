// Message 33168 sent to the edit box's window makes the component show what
// has arrived on its port; every other message is handled as by a plain edit
// box.
#include <veravo/edit/zpedit.h>

#include <cstdint>
#include <cstring>

namespace veravo {

void TZPEdit::Dispatch(void* message) {
  std::uint32_t number = 0;
  std::memcpy(&number, message, sizeof number);
  if (number == ReadRequestMessage) {
    GetMsg(*static_cast<TMessage*>(message));
    return;
  }
  TEdit::Dispatch(message);
}

// Shows the arrived bytes as hex (through HDGGetData, without a check); the
// message record is neither read nor answered. While an exchange is handling
// host messages between its polls the request is dropped: reading now would
// take away the reply that exchange is waiting for.
void TZPEdit::GetMsg(TMessage& /*message*/) {
  if (FMessageLoopOwner) return;
  HDGGetData();
}

}  // namespace veravo
