#include "cli/work_order.h"

#include <vector>

#include "records/record_store.h"

bool COrderCount::Claim() {
    std::lock_guard lock(m_mutex);
    if (m_passed + m_claimed >= m_quantity) return false;
    ++m_claimed;
    return true;
}

void COrderCount::Release() {
    std::lock_guard lock(m_mutex);
    if (m_claimed > 0) --m_claimed;
}

void COrderCount::Passed() {
    std::lock_guard lock(m_mutex);
    if (m_claimed > 0) --m_claimed;
    ++m_passed;
}

bool COrderCount::Complete() const {
    std::lock_guard lock(m_mutex);
    return m_passed >= m_quantity;
}

uint64_t COrderCount::PassedCount() const {
    std::lock_guard lock(m_mutex);
    return m_passed;
}

bool CountOrderPassed(IRecordStore& store, const std::string& orderId, uint64_t& passed, std::string& error) {
    std::vector<UnitRecord> records;
    if (!store.Query(RecordQuery{}, records)) {
        error = store.LastError();
        return false;
    }
    passed = 0;
    for (const UnitRecord& r : records)
        if (r.orderId == orderId && r.result == UnitResult::Passed) ++passed;
    return true;
}
