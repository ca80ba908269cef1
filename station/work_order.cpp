#include "station/work_order.h"

#include <vector>

#include "records/postgres_store.h"
#include "records/record_store.h"
#include "records/record_time.h"
#include "res/translation.h"

OrderClaim COrderCount::Claim(size_t) {
    std::lock_guard lock(m_mutex);
    if (m_passed + m_claimed >= m_quantity) return OrderClaim::Full;
    ++m_claimed;
    return OrderClaim::Granted;
}

void COrderCount::Settle(size_t, bool passed) {
    std::lock_guard lock(m_mutex);
    if (m_claimed > 0) --m_claimed;
    if (passed) ++m_passed;
}

bool COrderCount::Complete() {
    std::lock_guard lock(m_mutex);
    return m_passed >= m_quantity;
}

uint64_t COrderCount::PassedCount() {
    std::lock_guard lock(m_mutex);
    return m_passed;
}

std::unique_ptr<CServerOrder> CServerOrder::Create(const std::string& locator, const std::string& orderId,
                                                   uint64_t quantity, const std::string& station,
                                                   std::string& error, TroubleHandler trouble) {
    std::unique_ptr<CPostgresRecordStore> server = CPostgresRecordStore::Create(locator, error);
    if (!server) return nullptr;
    return std::unique_ptr<CServerOrder>(
        new CServerOrder(std::move(server), orderId, quantity, station, std::move(trouble)));
}

CServerOrder::CServerOrder(std::unique_ptr<CPostgresRecordStore> server, std::string orderId, uint64_t quantity,
                           std::string station, TroubleHandler trouble)
    : m_server(std::move(server)),
      m_orderId(std::move(orderId)),
      m_quantity(quantity),
      m_station(std::move(station)),
      m_trouble(std::move(trouble)) {}

CServerOrder::~CServerOrder() = default;

bool CServerOrder::SettleLeftovers() {
    while (!m_unsettled.empty()) {
        if (!m_server->SettleOrderUnit(m_unsettled.back().first, m_unsettled.back().second)) return false;
        m_unsettled.pop_back();
    }
    return true;
}

OrderClaim CServerOrder::Claim(size_t bay) {
    std::lock_guard lock(m_mutex);
    if (!SettleLeftovers()) return OrderClaim::Unavailable;
    const std::string claim = NewRecordId();
    bool granted = false;
    if (!m_server->ClaimOrderUnit(m_orderId, m_quantity, claim, m_station, UtcNowMs() - kClaimLifetimeMs, granted)) {
        if (m_trouble)
            m_trouble(FormatText(Tr("Work order %s cannot be counted on the server: %s"),
                                 {m_orderId, m_server->LastError()}));
        return OrderClaim::Unavailable;
    }
    if (!granted) {
        m_full = true;
        return OrderClaim::Full;
    }
    if (m_claims.size() <= bay) m_claims.resize(bay + 1);
    m_claims[bay] = claim;
    return OrderClaim::Granted;
}

void CServerOrder::Settle(size_t bay, bool passed) {
    std::lock_guard lock(m_mutex);
    if (bay >= m_claims.size() || m_claims[bay].empty()) return;
    const std::string claim = std::move(m_claims[bay]);
    m_claims[bay].clear();
    if (!m_server->SettleOrderUnit(claim, passed)) m_unsettled.emplace_back(claim, passed);  // tried again later
}

bool CServerOrder::Complete() {
    std::lock_guard lock(m_mutex);
    if (!m_full) return false;
    for (const std::string& claim : m_claims)
        if (!claim.empty()) return false;
    // Full, and nothing of this station on its way: what is left is the others'.
    return SettleLeftovers();
}

uint64_t CServerOrder::PassedCount() {
    std::lock_guard lock(m_mutex);
    uint64_t passed = 0;
    return m_server->CountOrderPassed(m_orderId, passed) ? passed : 0;
}

std::string CServerOrder::LastError() {
    std::lock_guard lock(m_mutex);
    return m_server->LastError();
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

std::unique_ptr<IWorkOrder> OpenWorkOrder(const std::string& locator, IRecordStore& store, const std::string& orderId,
                                          uint64_t quantity, const std::string& station, std::string& error,
                                          bool& serverFailed, CServerOrder::TroubleHandler trouble) {
    serverFailed = IsServerLocator(locator);
    if (serverFailed) return CServerOrder::Create(locator, orderId, quantity, station, error, std::move(trouble));
    uint64_t passed = 0;
    if (!CountOrderPassed(store, orderId, passed, error)) return nullptr;
    return std::make_unique<COrderCount>(quantity, passed);
}
