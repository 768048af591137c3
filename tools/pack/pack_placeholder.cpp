namespace orvane::pack {}
